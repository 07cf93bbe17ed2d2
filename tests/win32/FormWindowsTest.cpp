// Forms and controls as windows: what a probe reads, state changes reaching
// the screen, and user input reaching the core.
#include <gtest/gtest.h>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

using test::FindDescendant;
using test::WindowText;

// One control of every kind, spread over two pages.
class SampleForm : public TForm {
 public:
  SampleForm()
      : TForm("Sample"),
        pages(*this, 700, "Pages", nullptr, {0, 0, 320, 240}, {"One", "Two"}),
        pageOne(*this, 701, "PageOne", pages, 0),
        pageTwo(*this, 702, "PageTwo", pages, 1),
        label(*this, 710, "Label", &pageOne, {8, 8, 120, 16}, "A label"),
        panel(*this, 711, "Panel", &pageOne, {8, 30, 120, 22}, "A panel"),
        frame(*this, 712, "Frame", &pageOne, {8, 60, 200, 60}),
        button(*this, 713, "Button", &frame, {8, 8, 90, 24}, "&Press"),
        image(*this, 714, "Image", &pageOne, {240, 8, 32, 32}),
        check(*this, 720, "Check", &pageTwo, {8, 8, 200, 20}, "Tick me"),
        radio(*this, 730, "Radio", &pageTwo, {8, 32, 200, 80}, " Choice ", {"a", "b", "c"}),
        spin(*this, 740, "Spin", &pageTwo, {8, 120, 60, 22}, 1, 99, 2),
        combo(*this, 750, "Combo", &pageTwo, {80, 120, 150, 22}, {"x", "y", "z"}),
        close(*this, 760, "Close", nullptr, {8, 248, 90, 24}, "&Close") {
    SetClientSize(320, 280);
    button.OnClick = [this] { ++buttonClicks; };
    label.OnClick = [this] { ++labelClicks; };
    check.OnClick = [this] { ++checkClicks; };
    radio.OnClick = [this] { ++radioClicks; };
    combo.OnChange = [this] { ++comboChanges; };
    spin.OnChange = [this] { ++spinChanges; };
    pages.OnChange = [this] {
      ++pageChanges;
      pageDuringChange = pages.ActivePageIndex();
    };
  }

  bool CloseQuery() override {
    ++closeQueries;
    return allowClose;
  }

  bool HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                     intptr_t& result) override {
    if (message != WM_APP + 77) return false;
    lastMessageParam = static_cast<int>(wParam + lParam);
    result = 4321;
    return true;
  }

  TPageControl pages;
  TPage pageOne;
  TPage pageTwo;
  TLabel label;
  TPanel panel;
  TFrame frame;
  TButton button;
  TImage image;
  TCheckBox check;
  TRadioGroup radio;
  TSpinEdit spin;
  TComboBox combo;
  TButton close;

  int buttonClicks = 0, labelClicks = 0, checkClicks = 0, radioClicks = 0, comboChanges = 0,
      spinChanges = 0, pageChanges = 0, pageDuringChange = -1, closeQueries = 0,
      lastMessageParam = 0;
  bool allowClose = true;
};

class FormWindows : public testing::Test {
 protected:
  void SetUp() override {
    form.Show();
    test::PumpFor(0.02);
  }
  HWND Control(int id) { return FindDescendant(window.Window(), id); }
  bool HasVisibleStyle(int id) {
    return (GetWindowLongA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  // As the control's parent hears of a user action.
  void Notify(int id, UINT code) {
    HWND control = Control(id);
    SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(control));
  }

  SampleForm form;
  test::Realized window{form};
};

TEST_F(FormWindows, EveryControlHasAWindowWhoseTextIsTheStateText) {
  struct Case {
    int id;
    const char* text;
  };
  const Case cases[] = {
      {710, "A label"},  {711, "A panel"}, {713, "&Press"}, {720, "Tick me"},
      {730, " Choice "}, {731, "a"},       {732, "b"},      {733, "c"},
      {740, "2"},        {760, "&Close"},  {701, "One"},    {702, "Two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    HWND hwnd = Control(c.id);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(WindowText(hwnd), c.text);
  }
  for (int id : {700, 712, 714, 741, 750}) EXPECT_NE(Control(id), nullptr) << id;
  EXPECT_EQ(form.label.handle, Control(710));
  EXPECT_EQ(WindowText(window.Window()), "Sample");
}

TEST_F(FormWindows, ColourDoesNotHideThePanelText) {
  form.panel.SetFontColor(clHighlight);
  form.panel.SetText("Error: Library Tempiva.dll not found!");
  EXPECT_EQ(WindowText(Control(711)), "Error: Library Tempiva.dll not found!");
}

TEST_F(FormWindows, StateChangesReachTheWindows) {
  form.label.SetText("changed & more");
  EXPECT_EQ(WindowText(Control(710)), "changed & more");

  form.panel.SetVisible(false);
  EXPECT_FALSE(HasVisibleStyle(711));
  form.panel.SetVisible(true);
  EXPECT_TRUE(HasVisibleStyle(711));

  form.button.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Control(713)));

  form.check.SetChecked(true);
  EXPECT_EQ(SendMessageA(Control(720), BM_GETCHECK, 0, 0), BST_CHECKED);

  form.radio.SetItemIndex(2);
  EXPECT_EQ(SendMessageA(Control(731), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(Control(733), BM_GETCHECK, 0, 0), BST_CHECKED);
  form.radio.SetEnabled(false);
  for (int id : {730, 731, 732, 733}) EXPECT_FALSE(IsWindowEnabled(Control(id))) << id;

  form.combo.SetItemIndex(1);
  EXPECT_EQ(SendMessageA(Control(750), CB_GETCURSEL, 0, 0), 1);
  form.combo.SetItems({"p", "q"});
  EXPECT_EQ(SendMessageA(Control(750), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(Control(750), CB_GETCURSEL, 0, 0), CB_ERR);

  form.spin.SetValue(150);
  EXPECT_EQ(WindowText(Control(740)), "99");
  EXPECT_EQ(form.spinChanges, 0) << "a value set by the program raises nothing";

  form.image.SetPicture("STATE1");
  EXPECT_NE(SendMessageA(Control(714), STM_GETICON, 0, 0), 0);
  form.image.SetPicture("");
  EXPECT_EQ(SendMessageA(Control(714), STM_GETICON, 0, 0), 0);

  form.pages.SetActivePageIndex(1);
  EXPECT_EQ(SendMessageA(Control(700), TCM_GETCURSEL, 0, 0), 1);
  EXPECT_FALSE(HasVisibleStyle(701));
  EXPECT_TRUE(HasVisibleStyle(702));
  EXPECT_EQ(form.pageChanges, 0);

  form.label.SetBounds({20, 40, 100, 16});
  RECT moved;
  GetWindowRect(Control(710), &moved);
  MapWindowPoints(nullptr, Control(701), reinterpret_cast<POINT*>(&moved), 2);
  EXPECT_EQ(moved.left, test::Platform().Windows().Scale(20));
  EXPECT_EQ(moved.top, test::Platform().Windows().Scale(40));
}

TEST_F(FormWindows, ClicksReachTheHandlers) {
  SendMessageA(Control(713), BM_CLICK, 0, 0);
  EXPECT_EQ(form.buttonClicks, 1);

  Notify(710, STN_CLICKED);  // a label that acts as a link
  EXPECT_EQ(form.labelClicks, 1);

  SendMessageA(Control(720), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.check.Checked());
  EXPECT_EQ(form.checkClicks, 1);
  EXPECT_EQ(SendMessageA(Control(720), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(Control(720), BM_CLICK, 0, 0);
  EXPECT_FALSE(form.check.Checked());
  EXPECT_EQ(form.checkClicks, 2);

  SendMessageA(Control(732), BM_CLICK, 0, 0);
  EXPECT_EQ(form.radio.ItemIndex(), 1);
  EXPECT_EQ(form.radioClicks, 1);
  EXPECT_EQ(SendMessageA(Control(732), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(Control(733), BM_CLICK, 0, 0);
  EXPECT_EQ(form.radio.ItemIndex(), 2);
  EXPECT_EQ(SendMessageA(Control(732), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(FormWindows, ADisabledControlIgnoresTheClickAndKeepsItsState) {
  form.check.SetEnabled(false);
  // As if the click had come through anyway.
  Notify(720, BN_CLICKED);
  EXPECT_FALSE(form.check.Checked());
  EXPECT_EQ(form.checkClicks, 0);
  EXPECT_EQ(SendMessageA(Control(720), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(FormWindows, SelectionsReachTheState) {
  SendMessageA(Control(750), CB_SETCURSEL, 2, 0);
  Notify(750, CBN_SELCHANGE);
  EXPECT_EQ(form.combo.ItemIndex(), 2);
  EXPECT_EQ(form.comboChanges, 1);

  SendMessageA(Control(700), TCM_SETCURFOCUS, 1, 0);
  EXPECT_EQ(form.pages.ActivePageIndex(), 1);
  EXPECT_EQ(form.pageChanges, 1);
  EXPECT_EQ(form.pageDuringChange, 0) << "the change is reported before the page is current";
  EXPECT_FALSE(HasVisibleStyle(701));
  EXPECT_TRUE(HasVisibleStyle(702));
}

TEST_F(FormWindows, TypingInTheSpinEditShowsClampedWhenItLosesTheFocus) {
  SetWindowTextA(Control(740), "42");
  EXPECT_EQ(form.spin.Text(), "42");
  EXPECT_EQ(form.spinChanges, 1);

  SetWindowTextA(Control(740), "150");
  EXPECT_EQ(form.spin.TextValue(), 150) << "the text stays while typing";
  EXPECT_EQ(form.spin.Value(), 99) << "the value keeps to the range at every moment";
  EXPECT_EQ(form.spinChanges, 2);

  Notify(740, EN_KILLFOCUS);
  EXPECT_EQ(form.spin.Value(), 99);
  EXPECT_EQ(WindowText(Control(740)), "99");
  EXPECT_EQ(form.spinChanges, 2) << "the clamp itself raises no change";
}

TEST_F(FormWindows, TheArrowKeysStepTheSpinEditWithinItsRange) {
  form.pages.SetActivePageIndex(1);
  HWND edit = Control(740);
  SetFocus(edit);
  SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
  SendMessageA(edit, WM_KEYUP, VK_UP, 0);
  EXPECT_EQ(form.spin.Value(), 3);
  EXPECT_EQ(form.spinChanges, 1);

  form.spin.SetValue(99);
  SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
  SendMessageA(edit, WM_KEYUP, VK_UP, 0);
  EXPECT_EQ(form.spin.Value(), 99) << "the arrows know the maximum";
}

TEST_F(FormWindows, TabMovesTheFocusThroughThePages) {
  HWND hwnd = window.Window();
  SetForegroundWindow(hwnd);
  SetFocus(Control(713));
  ASSERT_EQ(GetFocus(), Control(713));
  PostMessageA(Control(713), WM_KEYDOWN, VK_TAB, 0);
  test::PumpFor(0.05);
  HWND focus = GetFocus();
  EXPECT_NE(focus, Control(713));
  EXPECT_TRUE(focus == hwnd || IsChild(hwnd, focus)) << "focus stays in the form";
}

TEST_F(FormWindows, FormWindowFollowsTheForm) {
  HWND hwnd = window.Window();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, test::Platform().Windows().Scale(320));
  EXPECT_EQ(client.bottom, test::Platform().Windows().Scale(280));

  SetWindowPos(hwnd, nullptr, 123, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(form.Left(), 123);
  EXPECT_EQ(form.Top(), 45);

  form.SetPosition(200, 100);
  RECT frame;
  GetWindowRect(hwnd, &frame);
  EXPECT_EQ(frame.left, 200);
  EXPECT_EQ(frame.top, 100);

  form.Hide();
  EXPECT_FALSE(IsWindowVisible(hwnd));
}

TEST_F(FormWindows, CloseAndEndOfSessionAskTheCloseQuery) {
  HWND hwnd = window.Window();
  form.allowClose = false;
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(form.closeQueries, 1);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(SendMessageA(hwnd, WM_QUERYENDSESSION, 0, 0), FALSE);

  form.allowClose = true;
  EXPECT_EQ(SendMessageA(hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(form.Visible());
}

TEST_F(FormWindows, OtherMessagesGoToTheFormFirst) {
  EXPECT_EQ(SendMessageA(window.Window(), WM_APP + 77, 3, 4), 4321);
  EXPECT_EQ(form.lastMessageParam, 7);
}

// The main form: no system menu, owned by the application window, whose
// title is the taskbar entry while the form is shown.
class MainSample : public TForm {
 public:
  MainSample() : TForm("Main sample"), hide(*this, 800, "Hide", nullptr, {8, 8, 80, 24}, "Hide") {
    SetMainForm(true);
    SetClientSize(200, 100);
    SetPosition(40, 30);
  }
  TButton hide;
};

class DialogSample : public TForm {
 public:
  DialogSample() : TForm("Notice") {
    SetBorder(BorderStyle::Dialog, true);
    SetClientSize(220, 90);
  }
};

TEST(FormStyles, MainFormHasNoSystemMenuAndTheApplicationWindowIsItsTaskbarEntry) {
  test::Platform().SetApplicationTitle("DCF77");
  MainSample form;
  test::Realized window(form);
  HWND hwnd = window.Window();
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "created hidden";

  HWND owner = GetWindow(hwnd, GW_OWNER);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(WindowText(owner), "DCF77");
  EXPECT_FALSE(IsWindowVisible(owner));

  form.Show();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsWindowVisible(owner));
  RECT frame;
  GetWindowRect(hwnd, &frame);
  EXPECT_EQ(frame.left, 40);
  EXPECT_EQ(frame.top, 30);

  form.Hide();
  EXPECT_FALSE(IsWindowVisible(owner));
}

TEST(FormStyles, DialogFormHasSystemMenuAndMinimiseButtonAndIsCentred) {
  DialogSample form;
  test::Realized window(form);
  HWND hwnd = window.Window();
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);

  form.Show();
  RECT frame, work;
  GetWindowRect(hwnd, &frame);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1);
  EXPECT_EQ(form.Left(), frame.left);
  EXPECT_EQ(form.Top(), frame.top);
}

}  // namespace
}  // namespace hv
