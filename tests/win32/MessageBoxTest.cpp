// Message boxes as a probe from outside sees and answers them.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "platform/win32/MessageBoxes.h"
#include "tests/support/TestThread.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

struct Seen {
  std::string text;
  bool hasOk = false;
  bool hasCancel = false;
  bool ownerShown = false;
  bool found = false;
};

// Waits on another thread for the box with this caption, reads it and
// presses its only button.
std::function<void()> Answer(const std::string& caption, Seen& seen) {
  return [caption, &seen] {
    for (int i = 0; i < 500; ++i) {
      HWND box = FindWindowA("#32770", caption.c_str());
      if (box && IsWindowVisible(box)) {
        seen.found = true;
        seen.text = test::WindowText(GetDlgItem(box, kMessageTextId));
        HWND ok = GetDlgItem(box, IDOK);
        HWND cancel = GetDlgItem(box, IDCANCEL);
        seen.hasOk = ok != nullptr;
        seen.hasCancel = cancel != nullptr;
        HWND owner = GetWindow(box, GW_OWNER);
        seen.ownerShown = owner && IsWindowVisible(owner);
        SendMessageA(ok ? ok : cancel, BM_CLICK, 0, 0);
        return;
      }
      Sleep(10);
    }
  };
}

TEST(MessageBoxes, ShowTheirTextAndReturnTheButtonPressed) {
  struct Case {
    MessageBoxKind kind;
    MessageBoxButtons buttons;
    int result;
  };
  const Case cases[] = {
      {MessageBoxKind::Information, MessageBoxButtons::Ok, IDOK},
      {MessageBoxKind::Warning, MessageBoxButtons::Ok, IDOK},
      {MessageBoxKind::Error, MessageBoxButtons::Cancel, IDCANCEL},
      {MessageBoxKind::Information, MessageBoxButtons::Cancel, IDCANCEL},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    std::string caption = "Box test ";
    caption += std::to_string(n++);
    const std::string text = "This version of Microsoft Windows is not supported!\rLine two & more";
    Seen seen;
    test::TestThread probe(Answer(caption, seen));
    const int result = test::Platform().MessageBox(text, caption, c.kind, c.buttons);
    probe.Join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.hasOk, c.buttons == MessageBoxButtons::Ok);
    EXPECT_EQ(seen.hasCancel, c.buttons == MessageBoxButtons::Cancel);
    EXPECT_TRUE(seen.ownerShown) << "the taskbar entry is there while the box is up";
  }
  EXPECT_FALSE(IsWindowVisible(test::Platform().Windows().ApplicationWindow()));
}

}  // namespace
}  // namespace hv
