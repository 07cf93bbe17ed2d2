// The version values read from the executable's own resource, compared with
// what the resource script says and with the system's own version reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/VersionInfo.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

// The system's reading of the same resource (from the file on disk).
class SystemVersion {
 public:
  SystemVersion() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoA(path, 0, size, data_.data())) data_.clear();
  }
  bool Loaded() const { return !data_.empty(); }
  std::string Text(const std::string& table, const char* key) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\" + table + "\\" + key;
    if (!VerQueryValueA(data_.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
      return "<missing>";
    return length ? std::string(value) : std::string();
  }
  const VS_FIXEDFILEINFO* Fixed() {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
      return nullptr;
    return fixed;
  }

 private:
  std::vector<char> data_;
};

TEST(VersionResource, TheVersionInfoReadsTheProgramsOwnResource) {
  const TVersionInfo info;
  ASSERT_TRUE(info.VersionInfoAvailable());
  EXPECT_EQ(info.MainVersion(), 1);
  EXPECT_EQ(info.SubVersion(), 4);
  EXPECT_EQ(info.Release(), 0);
  EXPECT_EQ(info.Built(), 3);
  EXPECT_EQ(info.StringFileInfo(), "040904E4");

  struct Case {
    const char* key;
    const std::string& value;
    const char* expected;
  };
  const Case cases[] = {
      {"CompanyName", info.CompanyName(), "Horavia developers"},
      {"FileDescription", info.FileDescription(),
       "Horavia - DCF77 radio clock for the Taskbar Notification Area"},
      {"FileVersion", info.FileVersion(), HV_PROJECT_VERSION},
      {"InternalName", info.InternalName(), "Horavia"},
      {"LegalCopyright", info.LegalCopyright(), "Copyright (C) 2026 Horavia developers"},
      {"LegalTrademarks", info.LegalTrademarks(), ""},
      {"OriginalFilename", info.OriginalFilename(), "Horavia.exe"},
      {"ProductName", info.ProductName(), "Horavia"},
      {"ProductVersion", info.ProductVersion(), HV_PROJECT_VERSION},
      {"Comments", info.Comments(), "Sets the PC clock from a USB DCF77 radio clock"},
  };
  SystemVersion system;
  ASSERT_TRUE(system.Loaded());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(c.value, c.expected);
    EXPECT_EQ(c.value, system.Text("040904E4", c.key)) << "as the system reads it";
  }

  const VS_FIXEDFILEINFO* fixed = system.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, (uint32_t{info.MainVersion()} << 16) | info.SubVersion());
  EXPECT_EQ(fixed->dwFileVersionLS, (uint32_t{info.Release()} << 16) | info.Built());
}

// The block the platform hands over is the whole resource.
TEST(VersionResource, ThePlatformHandsOverTheWholeBlock) {
  std::vector<uint8_t> block;
  ASSERT_TRUE(test::Platform().LoadVersionResource(block));
  ASSERT_GE(block.size(), 6u);
  const size_t length = block[0] | block[1] << 8;
  EXPECT_EQ(length, block.size()) << "wLength of the root is the resource's size";
  const VersionValues values = ParseVersionResource(block);
  EXPECT_TRUE(values.available);
  EXPECT_EQ(values.StringFileInfo, u"040904E4");
}

}  // namespace
}  // namespace hv
