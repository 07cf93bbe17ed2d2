// A failure raised by any handler the system reaches reaches the user in the
// application's error box, and the program goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "desktop/UrlLabel.h"
#include "platform/win32/MessageBoxes.h"
#include "tests/support/TestThread.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

using test::FindDescendant;

constexpr UINT kFailingMessage = WM_APP + 9;

// A label whose own reaction to the mouse fails.
class FailingLink : public TLabel {
 public:
  FailingLink(TForm& owner, std::function<void()> fail)
      : TLabel(owner, 940, "Link", nullptr, {8, 200, 120, 16}, "a link"), fail_(std::move(fail)) {
    OnClick = [] {};  // a label that reacts to clicks hears of the mouse
  }

 protected:
  void MouseEnter() override { fail_(); }

 private:
  std::function<void()> fail_;
};

// The main form, every handler of which fails with the failure of the case
// being tried.
class FailingForm : public TForm {
 public:
  FailingForm()
      : TForm("Failing"),
        pages(*this, 900, "Pages", nullptr, {0, 0, 300, 100}, {"One", "Two"}),
        button(*this, 901, "Button", nullptr, {8, 110, 80, 24}, "Press"),
        check(*this, 902, "Check", nullptr, {100, 110, 80, 20}, "Tick"),
        radio(*this, 910, "Radio", nullptr, {8, 140, 200, 60}, "Pick", {"a", "b"}),
        spin(*this, 920, "Spin", nullptr, {220, 140, 60, 22}, 1, 99, 2),
        combo(*this, 930, "Combo", nullptr, {220, 170, 70, 22}, {"x", "y"}),
        link(*this, [this] { Fail(); }),
        timer(*this, 1, 10) {
    SetMainForm(true);
    SetClientSize(300, 230);
    for (TControl* control : std::initializer_list<TControl*>{&button, &check, &radio})
      control->OnClick = [this] { Fail(); };
    for (TControl* control : std::initializer_list<TControl*>{&pages, &spin, &combo})
      control->OnChange = [this] { Fail(); };
    timer.OnTimer = [this] {
      timer.SetEnabled(false);
      Fail();
    };
  }

  bool CloseQuery() override {
    Fail();
    return true;
  }
  bool HandleMessage(uint32_t message, uintptr_t, intptr_t, intptr_t&) override {
    if (message == kFailingMessage) Fail();
    return false;
  }

  // What the handlers raise: a failure with this message, or (empty) a
  // value that is no failure of the standard kinds.
  std::string failure;

  TPageControl pages;
  TButton button;
  TCheckBox check;
  TRadioGroup radio;
  TSpinEdit spin;
  TComboBox combo;
  FailingLink link;
  TTimer timer;

 private:
  void Fail() {
    if (failure.empty()) throw 42;
    throw std::runtime_error(failure);
  }
};

// Answers the application's error boxes on another thread, noting their
// texts, as a user reads and dismisses them.
class ErrorBoxes {
 public:
  ErrorBoxes() : thread_([this] { Watch(); }) {}
  ~ErrorBoxes() {
    done_ = true;
    thread_.Join();
  }
  ErrorBoxes(const ErrorBoxes&) = delete;
  ErrorBoxes& operator=(const ErrorBoxes&) = delete;

  std::vector<std::string> Texts() {
    test::TestLock::Hold hold(lock_);
    return texts_;
  }

 private:
  void Watch() {
    while (!done_) {
      HWND box = FindWindowA("#32770", "DCF77");
      if (box && IsWindowVisible(box)) {
        {
          test::TestLock::Hold hold(lock_);
          texts_.push_back(test::WindowText(GetDlgItem(box, kMessageTextId)));
        }
        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(5);
      }
      Sleep(5);
    }
  }

  std::atomic<bool> done_{false};
  test::TestLock lock_;
  std::vector<std::string> texts_;
  test::TestThread thread_;
};

TEST(Failures, EveryHandlerTheSystemReachesShowsItsFailureAndTheProgramGoesOn) {
  SetApplicationTitle("DCF77");
  FailingForm form;
  test::Realized window(form);
  form.Show();
  test::PumpFor(0.02);
  HWND hwnd = window.Window();
  auto control = [&](int id) { return FindDescendant(hwnd, id); };
  auto notify = [&](int id, UINT code) {
    SendMessageA(GetParent(control(id)), WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(control(id)));
  };

  struct Case {
    const char* failure;  // empty: no failure of the standard kinds
    std::function<void()> act;
  };
  const Case cases[] = {
      {"a click", [&] { SendMessageA(control(901), BM_CLICK, 0, 0); }},
      {"a tick", [&] { SendMessageA(control(902), BM_CLICK, 0, 0); }},
      {"a radio item", [&] { SendMessageA(control(912), BM_CLICK, 0, 0); }},
      {"typing", [&] { SetWindowTextA(control(920), "42"); }},
      {"a pick",
       [&] {
         SendMessageA(control(930), CB_SETCURSEL, 1, 0);
         notify(930, CBN_SELCHANGE);
       }},
      {"a page change", [&] { SendMessageA(control(900), TCM_SETCURFOCUS, 1, 0); }},
      {"the mouse over a link", [&] { SendMessageA(control(940), WM_MOUSEMOVE, 0, 0); }},
      {"a window message", [&] { SendMessageA(hwnd, kFailingMessage, 0, 0); }},
      {"the close message", [&] { SendMessageA(hwnd, WM_CLOSE, 0, 0); }},
      {"the end of the session",
       [&] { EXPECT_EQ(SendMessageA(hwnd, WM_QUERYENDSESSION, 0, 0), FALSE); }},
      {"the taskbar entry's close",
       [&] { SendMessageA(test::Platform().Windows().ApplicationWindow(), WM_CLOSE, 0, 0); }},
      {"a timer tick", [&] { form.timer.SetEnabled(true); }},
      {"", [&] { SendMessageA(control(901), BM_CLICK, 0, 0); }},
  };

  ErrorBoxes boxes;
  size_t shown = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(*c.failure ? c.failure : "no standard failure");
    form.failure = c.failure;
    c.act();
    EXPECT_TRUE(test::PumpUntil([&] { return boxes.Texts().size() > shown; })) << "no error box";
    const std::vector<std::string> texts = boxes.Texts();
    ASSERT_EQ(texts.size(), shown + 1);
    EXPECT_EQ(texts.back(), std::string(*c.failure ? c.failure : "Unknown failure") + ".");
    shown = texts.size();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd)) << "the close did not happen";
    EXPECT_FALSE(test::Platform().Terminated());
  }
}

}  // namespace
}  // namespace hv
