// The profile-file model, following the system's profile functions as
// measured: the Win32 tests run the same cases through both.
#include "platform/virtual/ProfileFile.h"

#include "common/TextCompare.h"

#include <cctype>
#include <vector>

namespace hv {

namespace {

struct Entry {
  std::string name;
  std::optional<std::string> value;  // none: a line without "="
};

struct Section {
  std::string name;  // empty: the lines before the first section
  std::vector<Entry> entries;
};

// The characters the profile functions skip around names and values (the
// DOS end-of-file mark included).
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string TrimLeft(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return s.substr(b);
}

std::string Trim(const std::string& s) {
  std::string t = TrimLeft(s);
  while (!t.empty() && IsBlank(t.back())) t.pop_back();
  return t;
}

bool SameName(const std::string& a, const std::string& b) {
  return EqualsIgnoringCase(a, b);
}

std::vector<Section> Parse(const std::string& content) {
  std::vector<Section> sections(1);
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = Trim(content.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    // A section header runs to the last "]" of its line; text after it is
    // dropped. Without a "]" the line is an ordinary one.
    const size_t close = line.rfind(']');
    if (line[0] == '[' && close != std::string::npos) {
      sections.push_back({Trim(line.substr(1, close - 1)), {}});
      continue;
    }
    Entry e;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      e.name = line;
    } else {
      e.name = Trim(line.substr(0, eq));
      e.value = Trim(line.substr(eq + 1));
    }
    sections.back().entries.push_back(e);
  }
  return sections;
}

std::string Serialise(const std::vector<Section>& sections) {
  std::string out;
  for (const Section& s : sections) {
    if (!s.name.empty()) out += "[" + s.name + "]\r\n";
    for (const Entry& e : s.entries) {
      out += e.name;
      if (e.value) out += "=" + *e.value;
      out += "\r\n";
    }
  }
  return out;
}

Section* FindSection(std::vector<Section>& sections, const std::string& name) {
  for (Section& s : sections)
    if (SameName(s.name, name)) return &s;
  return nullptr;
}

Entry* FindEntry(Section& section, const std::string& name) {
  for (Entry& e : section.entries)
    if (SameName(e.name, name)) return &e;
  return nullptr;
}

// The value as the system copies it into a buffer of `size` characters:
// an opening quote and the same closing one are dropped, but when the
// value without its opening quote has exactly `size` characters, the copy
// is cut before the closing quote and still loses its last character.
std::string CopyEntry(const std::string& value, size_t size) {
  if (size == 0) return {};
  std::string v = value;
  bool quoted = false;
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    v.erase(0, 1);
    quoted = true;
  }
  const size_t length = v.size();
  if (v.size() > size - 1) v.resize(size - 1);
  if (quoted && size >= length && !v.empty()) v.pop_back();
  return v;
}

}  // namespace

std::string ProfileFiles::Get(const std::string& section, const std::string& key,
                              const std::string& fallback, const std::string& file,
                              size_t bufferSize) const {
  auto it = files.find(file);
  if (it == files.end()) return fallback;
  std::vector<Section> sections = Parse(it->second);
  Section* s = FindSection(sections, Trim(section));
  Entry* e = s ? FindEntry(*s, Trim(key)) : nullptr;
  if (!e || !e->value) return fallback;
  return CopyEntry(*e->value, bufferSize);
}

bool ProfileFiles::Write(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& file) {
  if (unwritable.count(file)) return false;
  auto it = files.find(file);
  std::vector<Section> sections = Parse(it == files.end() ? std::string() : it->second);
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);
  const std::string stored = TrimLeft(value);
  Section* target = FindSection(sections, sectionName);
  if (!target) {
    sections.push_back({sectionName, {}});
    target = &sections.back();
  }
  if (Entry* e = FindEntry(*target, keyName)) {
    if (e->value == stored) return true;  // nothing changes: the file stays as it is
    e->value = stored;
  } else {
    target->entries.push_back({keyName, stored});
  }
  files[file] = Serialise(sections);
  return true;
}

}  // namespace hv
