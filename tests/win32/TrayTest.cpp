// The tray icon on the real shell: the record as the shell receives it, and
// adding, changing and removing the icon of a realised window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/ControlIds.h"
#include "desktop/TBProcs.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

TEST(TrayRecord, TheShellReceivesTheCoresRecordFieldByField) {
  const std::string longest(63, 'T');
  struct Case {
    const char* name;
    NotifyIconRecord record;
    UINT flags;
    UINT message;
    HandleValue icon;
    std::string tip;
  };
  // Handles with their upper half set where the build has one: none may be narrowed.
  const HandleValue w = static_cast<HandleValue>(0x7FFE00001234ull);
  const HandleValue i1 = static_cast<HandleValue>(0x7FFD000ABCD0ull);
  const HandleValue i2 = 0x5678;
  const Case cases[] = {
      {"add", AddRecord(w, 1, i1, "No Radio Clock Time available"), 7, kWmTrayIcon, i1,
       "No Radio Clock Time available"},
      {"add, empty tip", AddRecord(w, 1, i1, ""), 7, kWmTrayIcon, i1, ""},
      {"modify", ModifyRecord(w, 1, i2, "DCF77 Time"), 6, 0, i2, "DCF77 Time"},
      {"modify, 63 characters", ModifyRecord(w, 1, i2, longest), 6, 0, i2, longest},
      {"delete", DeleteRecord(w, 1), 0, 0, 0, ""},
      {"id zero-extended", DeleteRecord(w, 0xFFFF), 0, 0, 0, ""},
  };
  // The first-version size: 88 bytes on 32-bit Windows, 104 on 64-bit.
  const DWORD size = sizeof(void*) == 4 ? 88 : 104;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NOTIFYICONDATAA data = NotifyIconData(c.record);
    EXPECT_EQ(data.cbSize, size);
    EXPECT_EQ(reinterpret_cast<HandleValue>(data.hWnd), w);
    EXPECT_EQ(data.uID, std::string(c.name) == "id zero-extended" ? 0xFFFFu : 1u);
    EXPECT_EQ(data.uFlags, c.flags);
    EXPECT_EQ(data.uCallbackMessage, c.message);
    EXPECT_EQ(reinterpret_cast<HandleValue>(data.hIcon), c.icon);
    EXPECT_EQ(std::string(data.szTip), c.tip);
    // Nothing past the first-version record reaches the shell.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&data);
    for (size_t i = size; i < sizeof(data); ++i) ASSERT_EQ(bytes[i], 0) << i;
  }
}

// Without a desktop shell on the display, Wine's shell shows its icons in a
// small window of its own while it has any.
bool TrayWindowShown() {
  HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
  return tray && IsWindowVisible(tray);
}

class TrayForm : public TForm {
 public:
  TrayForm() : TForm("Tray owner") { SetClientSize(100, 60); }
};

TEST(TrayIcon, IsAddedChangedAndRemovedOnTheShell) {
  TrayForm form;
  test::Realized window(form);
  Platform& os = test::Platform();
  const HandleValue hwnd = os.WindowHandleValue(form);
  ASSERT_EQ(hwnd, reinterpret_cast<HandleValue>(window.Window()));
  const HandleValue pc = os.LoadSmallIcon("IMAGEPC");
  const HandleValue dcf = os.LoadSmallIcon("IMAGEDCF");
  ASSERT_NE(pc, 0u);
  ASSERT_NE(dcf, 0u);

  EXPECT_FALSE(DeleteTrayIcon(hwnd, 1)) << "no icon yet";
  EXPECT_FALSE(ModifyTrayIcon(hwnd, 1, dcf, "DCF77 Time")) << "no icon yet";
  EXPECT_TRUE(AddTrayIcon(hwnd, 1, pc, "No Radio Clock Time available"));
  EXPECT_TRUE(test::PumpUntil([] { return TrayWindowShown(); }, 3.0))
      << "the icon is in the shell's tray window";
  EXPECT_TRUE(ModifyTrayIcon(hwnd, 1, dcf, "DCF77 Time"));
  EXPECT_TRUE(ModifyTrayIcon(hwnd, 1, pc, ""));
  EXPECT_TRUE(DeleteTrayIcon(hwnd, 1));
  EXPECT_TRUE(test::PumpUntil([] { return !TrayWindowShown(); }, 3.0))
      << "the tray window goes with its last icon";
  EXPECT_FALSE(DeleteTrayIcon(hwnd, 1)) << "already removed";
  EXPECT_FALSE(ModifyTrayIcon(hwnd, 1, pc, "Crystal Time")) << "already removed";
}

TEST(TrayIcon, TheThreePicturesAreDistinctSmallIcons) {
  Platform& os = test::Platform();
  const char* names[] = {"IMAGEPC", "IMAGECRYSTAL", "IMAGEDCF"};
  HandleValue handles[3];
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    handles[i] = os.LoadSmallIcon(names[i]);
    ASSERT_NE(handles[i], 0u);
    EXPECT_EQ(os.LoadSmallIcon(names[i]), handles[i]) << "loaded once";
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(handles[i]), &info));
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
  EXPECT_NE(handles[0], handles[1]);
  EXPECT_NE(handles[1], handles[2]);
  EXPECT_EQ(os.LoadSmallIcon("NOSUCHICON"), 0u);
}

}  // namespace
}  // namespace hv
