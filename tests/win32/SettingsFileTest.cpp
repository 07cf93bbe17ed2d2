// The settings file through the platform: its folder, a file that cannot
// be written, a folder the ANSI code page cannot name, the decimal
// separator.
#include <gtest/gtest.h>

#include <string>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

std::string TempFolderUtf8() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return Utf8(temp);
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[1024];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return true;
}

TEST(SettingsFolder, TheApplicationDataFolderIsThereAndNamed) {
  const std::string folder = test::Platform().GetSpecialFolderPath(26);
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << folder;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SettingsFolder, AFolderThatCannotBeLocatedGivesTheEmptyPath) {
  EXPECT_EQ(test::Platform().GetSpecialFolderPath(0x7F), "");
}

// Another program holds the file open without sharing it: every write
// fails, also one that would not change the file, and reading gives "".
TEST(SettingsFile, AFileHeldOpenWithoutSharingCannotBeWritten) {
  const std::string path =
      TempFolderUtf8() + "hv-locked-" + std::to_string(GetCurrentProcessId()) + ".ini";
  Platform& os = test::Platform();
  ASSERT_TRUE(os.WriteProfileString("TNA", "x", "10", path));
  os.WriteProfileString(nullptr, nullptr, nullptr, path);

  HANDLE holder = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  struct Case {
    const char* key;
    const char* value;
  };
  for (const Case& c : {Case{"x", "11"}, Case{"x", "10"}, Case{"New", "1"}}) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    EXPECT_FALSE(os.WriteProfileString("TNA", c.key, c.value, path));
  }
  EXPECT_EQ(os.GetProfileString("TNA", "x", path), "");
  CloseHandle(holder);

  os.WriteProfileString(nullptr, nullptr, nullptr, path);
  EXPECT_EQ(os.GetProfileString("TNA", "x", path), "10") << "the file kept its value";
  EXPECT_TRUE(os.WriteProfileString("TNA", "x", "12", path)) << "writable again once released";
  DeleteFileW(Wide(path).c_str());
}

// A user name outside the ANSI code page: the seam's paths are UTF-8, the
// file itself stays single-byte text in the ANSI code page.
TEST(SettingsFile, AFolderNamedOutsideTheAnsiCodePageWorks) {
  const std::string folder = TempFolderUtf8() +
                             "hv-\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80-\xE6\x97\xA5\xE6\x9C\xAC-" +
                             std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
  const std::string path = folder + "\\Kronalt.ini";
  Platform& os = test::Platform();

  EXPECT_TRUE(os.WriteProfileString("General", "Product", "Horavia", path));
  EXPECT_TRUE(os.WriteProfileString("TNA", "Name", "caf\xE9", path));  // "café" in Windows-1252
  os.WriteProfileString(nullptr, nullptr, nullptr, path);
  EXPECT_EQ(os.GetProfileString("General", "Product", path), "Horavia");
  EXPECT_EQ(os.GetProfileString("TNA", "Name", path), "caf\xE9");

  std::string bytes;
  ASSERT_TRUE(ReadBytes(Wide(path), bytes)) << "the file lies in the folder of that name";
  EXPECT_EQ(bytes, "[General]\r\nProduct=Horavia\r\n[TNA]\r\nName=caf\xE9\r\n")
      << "no byte-order mark, no UTF-16, one byte per character";

  // The path shown in a message: what the ANSI code page can show of it.
  EXPECT_NE(os.Utf8ToAnsi(path).find("\\Kronalt.ini"), std::string::npos);

  DeleteFileW(Wide(path).c_str());
  RemoveDirectoryW(Wide(folder).c_str());
}

TEST(Locale, TheDecimalSeparatorOfTheDefaultLocaleIsAFullStop) {
  EXPECT_EQ(test::Platform().DecimalSeparator(), '.');
}

}  // namespace
}  // namespace hv
