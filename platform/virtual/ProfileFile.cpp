// The profile-file model.
#include "platform/virtual/ProfileFile.h"

#include <cctype>
#include <vector>

namespace hv {

namespace {

struct Entry {
  std::string name;
  std::optional<std::string> value;  // none: a line without "="
};

struct Section {
  std::optional<std::string> name;  // none: the lines before the first section
  std::vector<Entry> entries;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
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
    if (line[0] == '[') {
      const size_t close = line.find(']');
      Section s;
      s.name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      sections.push_back(s);
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
    if (s.name) out += "[" + *s.name + "]\r\n";
    for (const Entry& e : s.entries) {
      out += e.name;
      if (e.value) out += "=" + *e.value;
      out += "\r\n";
    }
  }
  return out;
}

}  // namespace

std::string ProfileFiles::Get(const std::string& section, const std::string& key,
                              const std::string& fallback, const std::string& file,
                              size_t bufferSize) const {
  auto it = files.find(file);
  if (it == files.end()) return fallback;
  for (const Section& s : Parse(it->second)) {
    if (!s.name || !SameName(*s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (!e.value || !SameName(e.name, key)) continue;
      std::string v = *e.value;
      if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
      if (bufferSize > 0 && v.size() > bufferSize - 1) v.resize(bufferSize - 1);
      return v;
    }
    return fallback;
  }
  return fallback;
}

bool ProfileFiles::Write(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& file) {
  if (unwritable.count(file)) return false;
  auto it = files.find(file);
  std::vector<Section> sections = Parse(it == files.end() ? std::string() : it->second);
  Section* target = nullptr;
  for (Section& s : sections)
    if (s.name && SameName(*s.name, section)) {
      target = &s;
      break;
    }
  if (!target) {
    Section s;
    s.name = section;
    sections.push_back(s);
    target = &sections.back();
  }
  // The system drops blanks before a written value, not after it.
  size_t b = 0;
  while (b < value.size() && (value[b] == ' ' || value[b] == '\t')) ++b;
  const std::string stored = value.substr(b);
  for (Entry& e : target->entries)
    if (SameName(e.name, key)) {
      e.value = stored;
      files[file] = Serialise(sections);
      return true;
    }
  target->entries.push_back({key, stored});
  files[file] = Serialise(sections);
  return true;
}

}  // namespace hv
