// End to end: the About page shows the version and copyright of the program's own resource.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

namespace ctl = hv::ctl;

// A text of an executable's version resource, read by the system's own functions (version.dll,
// looked up at run time), from the string table its translation names; "" when there is none.
std::string VersionText(const std::string& exe, const std::string& key) {
  using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  HMODULE version = LoadLibraryA("version.dll");
  if (!version) throw probe::Error("version.dll cannot be loaded");
  auto lookup = [&](const char* name) {
    return reinterpret_cast<void (*)()>(GetProcAddress(version, name));
  };
  const auto size_of = reinterpret_cast<SizeFn>(lookup("GetFileVersionInfoSizeA"));
  const auto info_of = reinterpret_cast<InfoFn>(lookup("GetFileVersionInfoA"));
  const auto query = reinterpret_cast<QueryFn>(lookup("VerQueryValueA"));
  if (!size_of || !info_of || !query) throw probe::Error("version.dll lacks its functions");

  DWORD ignored = 0;
  std::string block(size_of(exe.c_str(), &ignored), '\0');
  if (block.empty() || !info_of(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) {
    throw probe::Error(exe + " has no version resource");
  }
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (!query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
             &length) ||
      length < sizeof(Translation)) {
    throw probe::Error(exe + " names no translation");
  }
  char path[128];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                translation->code_page, key.c_str());
  char* value = nullptr;
  if (!query(block.data(), path, reinterpret_cast<void**>(&value), &length) || !value) return "";
  return value;
}

using AboutPageTest = HoraviaTest;

TEST_F(AboutPageTest, ShowsTheVersionAndTheCopyrightOfTheResource) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kNone);
  const std::string exe = folder + "\\" + kExeName;
  const std::string copyright = VersionText(exe, "LegalCopyright");
  ASSERT_FALSE(copyright.empty());
  ASSERT_EQ(VersionText(exe, "FileVersion"), HV_PROJECT_VERSION);

  probe::Process& program = Launch(folder);
  HWND window = StartedWindow(program);
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the main window");
  probe::SelectTab(probe::Control(window, ctl::TabbedNotebook1), 3);

  EXPECT_EQ(probe::Text(probe::Control(window, ctl::LabelVersion)), std::string("Version ") + HV_PROJECT_VERSION);
  EXPECT_EQ(probe::Text(probe::Control(window, ctl::LabelCopyright)), copyright);
  EXPECT_TRUE(probe::Visible(probe::Control(window, ctl::LabelVersion)));
  EXPECT_TRUE(probe::Visible(probe::Control(window, ctl::LabelCopyright)));
}

}  // namespace
}  // namespace e2e
