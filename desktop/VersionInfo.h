// The program's own version resource: the fixed file version and the
// texts of the first string table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hv {

struct VersionValues {
  bool available = false;
  uint16_t MainVersion = 0;
  uint16_t SubVersion = 0;
  uint16_t Release = 0;
  uint16_t Built = 0;
  std::u16string StringFileInfo;  // key of the first string table, e.g. "040904E4"
  // The ten keys, in their order: CompanyName, FileDescription,
  // FileVersion, InternalName, LegalCopyright, LegalTrademarks,
  // OriginalFilename, ProductName, ProductVersion, Comments.
  std::u16string values[10];
};

// Keys of `VersionValues::values`, in order.
extern const char16_t* const kVersionKeys[10];

// Parses a VS_VERSIONINFO block as the resource holds it (little-endian
// 16-bit lengths, UTF-16 keys and values, 32-bit alignment). A block that
// is too short or malformed gives `available` = false and empty values.
VersionValues ParseVersionResource(const std::vector<uint8_t>& block);

// The executable's version values, read once at creation; texts in the
// ANSI code page. Without a readable resource everything is empty or 0.
class TVersionInfo {
 public:
  TVersionInfo() { ReadVersionInfo(); }
  void ReadVersionInfo();

  bool VersionInfoAvailable() const { return values_.available; }
  uint16_t MainVersion() const { return values_.MainVersion; }
  uint16_t SubVersion() const { return values_.SubVersion; }
  uint16_t Release() const { return values_.Release; }
  uint16_t Built() const { return values_.Built; }
  const std::string& StringFileInfo() const { return stringFileInfo_; }
  const std::string& CompanyName() const { return texts_[0]; }
  const std::string& FileDescription() const { return texts_[1]; }
  const std::string& FileVersion() const { return texts_[2]; }
  const std::string& InternalName() const { return texts_[3]; }
  const std::string& LegalCopyright() const { return texts_[4]; }
  const std::string& LegalTrademarks() const { return texts_[5]; }
  const std::string& OriginalFilename() const { return texts_[6]; }
  const std::string& ProductName() const { return texts_[7]; }
  const std::string& ProductVersion() const { return texts_[8]; }
  const std::string& Comments() const { return texts_[9]; }

 private:
  VersionValues values_;
  std::string stringFileInfo_;
  std::string texts_[10];
};

}  // namespace hv
