// Parsing the version resource block.
#include "desktop/VersionInfo.h"
#include "platform/Platform.h"

namespace hv {

const char16_t* const kVersionKeys[10] = {
    u"CompanyName",     u"FileDescription",  u"FileVersion", u"InternalName",   u"LegalCopyright",
    u"LegalTrademarks", u"OriginalFilename", u"ProductName", u"ProductVersion", u"Comments"};

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;

// One node of the block: header, key, value and children, all offsets
// relative to the start of the block.
struct Node {
  size_t begin = 0;
  size_t end = 0;  // begin + wLength
  uint16_t valueLength = 0;
  uint16_t type = 0;
  std::u16string key;
  size_t value = 0;     // offset of the value
  size_t children = 0;  // offset of the first child
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& b) : bytes(b) {}

  bool Word(size_t at, uint16_t& out) const {
    if (at + 2 > bytes.size()) return false;
    out = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    return true;
  }
  bool DWord(size_t at, uint32_t& out) const {
    uint16_t lo = 0;
    uint16_t hi = 0;
    if (!Word(at, lo) || !Word(at + 2, hi)) return false;
    out = static_cast<uint32_t>(hi) << 16 | lo;
    return true;
  }
  // A NUL-terminated UTF-16 string from `at`, not past `limit`.
  bool String(size_t at, size_t limit, std::u16string& out, size_t& after) const {
    out.clear();
    for (size_t p = at; p + 2 <= limit; p += 2) {
      uint16_t c = 0;
      Word(p, c);
      if (c == 0) {
        after = p + 2;
        return true;
      }
      out += static_cast<char16_t>(c);
    }
    return false;
  }
  static size_t Align(size_t at) { return (at + 3) & ~size_t{3}; }

  bool ReadNode(size_t at, size_t limit, Node& node) const {
    uint16_t length = 0;
    if (!Word(at, length) || length < 6 || at + length > limit) return false;
    node.begin = at;
    node.end = at + length;
    if (!Word(at + 2, node.valueLength) || !Word(at + 4, node.type)) return false;
    size_t after = 0;
    if (!String(at + 6, node.end, node.key, after)) return false;
    node.value = Align(after);
    // Text values count their length in 16-bit words, binary ones in bytes.
    const size_t valueBytes = node.type == 1 ? node.valueLength * 2u : node.valueLength;
    node.children = Align(node.value + valueBytes);
    return node.value <= node.end;
  }

  const std::vector<uint8_t>& bytes;
};

}  // namespace

VersionValues ParseVersionResource(const std::vector<uint8_t>& block) {
  Reader r(block);
  Node root;
  if (!r.ReadNode(0, block.size(), root) || root.key != u"VS_VERSION_INFO") return {};
  uint32_t signature = 0;
  uint32_t ms = 0;
  uint32_t ls = 0;
  if (root.valueLength < 52 || !r.DWord(root.value, signature) || signature != kFixedSignature ||
      !r.DWord(root.value + 8, ms) || !r.DWord(root.value + 12, ls))
    return {};
  VersionValues result;
  result.MainVersion = static_cast<uint16_t>(ms >> 16);
  result.SubVersion = static_cast<uint16_t>(ms & 0xFFFF);
  result.Release = static_cast<uint16_t>(ls >> 16);
  result.Built = static_cast<uint16_t>(ls & 0xFFFF);

  // The first string table of the StringFileInfo child.
  for (size_t at = root.children; at < root.end;) {
    Node child;
    if (!r.ReadNode(at, root.end, child)) break;
    if (child.key == u"StringFileInfo") {
      Node table;
      if (r.ReadNode(child.children, child.end, table)) {
        result.StringFileInfo = table.key;
        for (size_t s = table.children; s < table.end;) {
          Node entry;
          if (!r.ReadNode(s, table.end, entry)) break;
          std::u16string text;
          size_t after = 0;
          if (entry.valueLength > 0) r.String(entry.value, entry.end, text, after);
          for (int k = 0; k < 10; ++k)
            if (entry.key == kVersionKeys[k]) result.values[k] = text;
          s = Reader::Align(entry.end);
        }
      }
      break;
    }
    at = Reader::Align(child.end);
  }
  result.available = true;
  return result;
}

void TVersionInfo::ReadVersionInfo() {
  values_ = VersionValues{};
  stringFileInfo_.clear();
  for (std::string& t : texts_) t.clear();
  std::vector<uint8_t> block;
  if (!Os().LoadVersionResource(block)) return;
  values_ = ParseVersionResource(block);
  stringFileInfo_ = Os().WideToAnsi(values_.StringFileInfo);
  for (int k = 0; k < 10; ++k) texts_[k] = Os().WideToAnsi(values_.values[k]);
}

}  // namespace hv
