// End to end: the tray callback message shows the hidden window on a button release only.
#include <gtest/gtest.h>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

class TrayTest : public HoraviaTest {
 protected:
  // Starts the program and waits until FormCreate is done; the window is still hidden then.
  HWND StartHidden() {
    const std::string folder = Folder("program");
    PutProgram(folder, Dll::kNone);
    HWND window = MainWindow(Launch(folder));
    EXPECT_FALSE(PanelMsg(window).empty());
    EXPECT_FALSE(probe::Visible(window)) << "the main window is created hidden";
    return window;
  }

  void Tray(HWND window, unsigned mouse_message) {
    probe::Send(window, hv::kWmTrayIcon, 0, static_cast<LPARAM>(mouse_message));
  }
};

TEST_F(TrayTest, LeftAndRightButtonReleaseShowTheWindow) {
  HWND window = StartHidden();

  Tray(window, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the window after a left-button release");

  probe::Click(probe::Control(window, hv::ctl::SpeedButtonHide));
  probe::WaitVisible(window, false, "the window after Close");

  Tray(window, hv::kWmRButtonUp);
  probe::WaitVisible(window, true, "the window after a right-button release");
}

TEST_F(TrayTest, OtherMouseMessagesAreIgnored) {
  HWND window = StartHidden();
  const unsigned kMove = 512, kLeftDown = 513, kLeftDouble = 515, kRightDown = 516, kMiddleUp = 520;

  for (unsigned message : {kMove, kLeftDown, kLeftDouble, kRightDown, kMiddleUp, 0u}) {
    Tray(window, message);
  }
  Sleep(300);
  EXPECT_FALSE(probe::Visible(window));

  // The same channel does work.
  Tray(window, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the window after a left-button release");
}

}  // namespace
}  // namespace e2e
