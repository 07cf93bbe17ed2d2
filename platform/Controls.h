// The window framework of the core: forms, controls and timers as plain
// objects that hold their state. The platform realises them on screen and
// keeps both in step (state set here shows on screen; what the user does on
// screen comes back through the `User...` operations and raises the
// handler). Without a realised window they work alone, which is what the
// core tests use.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace hv {

class Platform;
class TForm;

// Colours as the window framework encodes them: 0x00BBGGRR, or a system
// colour index with the top bit set.
using Color = uint32_t;
constexpr Color clWindowText = 0x80000008;
constexpr Color clHighlight = 0x8000000D;
constexpr Color clBtnFace = 0x8000000F;
constexpr Color clMenuHighlight = 0x8000001D;
constexpr Color clNavy = 0x00800000;
constexpr Color clBlue = 0x00FF0000;
constexpr bool IsSystemColor(Color c) {
  return (c & 0x80000000u) != 0;
}

enum class ControlKind {
  Label,   // static text
  Panel,   // text in a sunken box
  Frame,   // a lowered bevel that holds other controls
  Button,  // push button
  CheckBox,
  RadioGroup,   // captioned group of radio buttons, one per item
  SpinEdit,     // whole-number edit with up/down arrows
  ComboBox,     // drop-down list
  PageControl,  // tabs, one page per item
  Page,         // one page of a page control; holds controls
  Image,        // picture (icon resource)
};

enum class Alignment { Left, Center, Right };

// A length given in pixels at `ppi` pixels per inch, in design pixels
// (96 dpi), rounded to the nearest.
constexpr int DesignPixels(int pixels, int ppi) {
  return (pixels * 96 + ppi / 2) / ppi;
}

// Position in the parent's client area, design pixels at 96 dpi.
struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Font {
  int height = 0;  // pixels; 0 = the window's font
  bool bold = false;
  bool underline = false;
  std::string name;  // empty = the window's font
};

class TControl;

// Receives every change of a control's state (the platform's window layer).
class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void ControlChanged(TControl& control) = 0;
};

class TControl {
 public:
  TControl(TForm& owner, ControlKind kind, int id, const char* name, TControl* parent,
           Bounds bounds);
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl() = default;

  TForm& Owner() const { return owner_; }
  ControlKind Kind() const { return kind_; }
  int Id() const { return id_; }  // stable control id of the child window
  const char* Name() const { return name_; }
  TControl* Parent() const { return parent_; }
  const Bounds& GetBounds() const { return bounds_; }
  void SetBounds(const Bounds& bounds);

  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  Color FontColor() const { return fontColor_; }
  void SetFontColor(Color color);
  Alignment TextAlignment() const { return alignment_; }
  void SetAlignment(Alignment alignment);
  const Font& GetFont() const { return font_; }
  void SetFont(const Font& font);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap) { wordWrap_ = wrap; }
  // The icon resource an image shows (empty = none).
  const std::string& Picture() const { return picture_; }
  void SetPicture(const std::string& resource);

  // Items of radio groups, combo boxes and page controls (captions of the
  // pages); `ItemIndex` is the selection, -1 = none.
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const { return itemIndex_; }

  // Handlers raised by user actions (clicks, selections, page changes).
  std::function<void()> OnClick;
  std::function<void()> OnChange;

  // Whether "&" marks the next letter as the access key (else it shows).
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool show) { showAccelChar_ = show; }

  // What the user does on screen (or a test in its place).
  void UserClick();
  void UserSetText(const std::string& text);
  // The mouse moves onto / off the control (reported for labels that
  // react to clicks).
  void UserMouseEnter();
  void UserMouseLeave();

  // Window-layer bookkeeping.
  void* handle = nullptr;
  ControlObserver* observer = nullptr;

 protected:
  void Changed();
  void SetItemIndexRaw(int index);
  // What the control itself does when the mouse comes and goes.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

 private:
  TForm& owner_;
  ControlKind kind_;
  int id_;
  const char* name_;
  TControl* parent_;
  Bounds bounds_;
  std::string text_;
  bool visible_ = true;
  bool enabled_ = true;
  Color fontColor_ = clWindowText;
  Alignment alignment_ = Alignment::Left;
  Font font_;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
  std::string picture_;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TLabel : public TControl {
 public:
  TLabel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
         const std::string& caption = {});
};

class TPanel : public TControl {
 public:
  TPanel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
         const std::string& caption = {});
};

// A lowered bevel holding other controls (it shows no text).
class TFrame : public TControl {
 public:
  TFrame(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds);
};

class TButton : public TControl {
 public:
  TButton(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
          const std::string& caption);
};

class TImage : public TControl {
 public:
  TImage(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds);
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
            const std::string& caption);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  // A click on screen toggles the box and raises OnClick; setting `Checked`
  // from code raises nothing.
  void UserToggle();

 private:
  bool checked_ = false;
};

// Radio buttons have the ids `Id() + 1 + item index`.
class TRadioGroup : public TControl {
 public:
  TRadioGroup(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
              const std::string& caption, std::vector<std::string> items);
  // Values below -1 select nothing (-1), values past the last item select
  // the last item.
  void SetItemIndex(int index);
  // The user clicks item `index`: selects it and raises OnClick.
  void UserSelect(int index);
};

// The edit shows the value as text; the up/down control has id `Id() + 1`.
class TSpinEdit : public TControl {
 public:
  TSpinEdit(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds, int minValue,
            int maxValue, int value);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  // The value, within MinValue..MaxValue at every moment, also while the
  // box still shows a number typed outside the range; text that is no whole
  // number gives the minimum.
  int Value() const;
  // The text as a whole number as it stands, not clamped (the user may have
  // typed any number); text that is no whole number gives the minimum.
  int TextValue() const;
  // Clamps to MinValue..MaxValue and shows the result.
  void SetValue(int value);

 private:
  int min_;
  int max_;
};

class TComboBox : public TControl {
 public:
  TComboBox(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
            std::vector<std::string> items);
  // An index outside the items selects nothing (-1).
  void SetItemIndex(int index);
  void UserSelect(int index);
};

class TPageControl : public TControl {
 public:
  TPageControl(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
               std::vector<std::string> pageCaptions);
  int ActivePageIndex() const { return ItemIndex(); }
  void SetActivePageIndex(int index);
  // The user picks a tab: the page becomes current and OnChange is raised.
  void UserSelectPage(int index);
  // The client area of a page, in the page control's coordinates.
  Bounds PageClientBounds() const;
};

class TPage : public TControl {
 public:
  TPage(TForm& owner, int id, const char* name, TPageControl& pageControl, int pageIndex);
  int PageIndex() const { return pageIndex_; }

 private:
  int pageIndex_;
};

// Where a timer ticks. A window timer is the system's: it ticks in every
// message loop, a modal one's (a message box, a window being moved) too. A
// wait timer ticks only in the program's own wait
// (`Platform::WaitAndProcessMessages`), which times out when it falls due:
// no system timer is set, killed or woken for it. It is meant for the short
// one-shot waits that only that wait runs.
enum class TimerKind { Window, Wait };

class TTimer {
 public:
  TTimer(TForm& owner, uint32_t id, uint32_t interval, TimerKind kind = TimerKind::Window);
  uint32_t Id() const { return id_; }
  TimerKind Kind() const { return kind_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Enables the timer and starts it afresh, also when it is running: its
  // next tick comes one interval from now.
  void Restart();
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t interval);
  std::function<void()> OnTimer;

 private:
  void Update();
  TForm& owner_;
  uint32_t id_;
  uint32_t interval_;
  TimerKind kind_;
  bool enabled_ = false;
};

// The application's title: the caption of its error box and its taskbar
// entry. Set once by the program entry.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();
// Shows a failure that reached the window framework in an error box titled
// with the application title; a full stop is added after the message.
void ShowException(const std::exception& failure);

// The one guard around every entry from the system into the core: window
// procedures, timer ticks, the messages of the loop, user actions. A failure
// that `code` raises ends here, shown in the application's error box, and
// the program goes on; nothing escapes, not even a failure of the box.
void ShowUnknownFailure() noexcept;
void ShowFailure(const std::exception& failure) noexcept;
template <typename Code>
void Guard(Code&& code) noexcept {
  try {
    code();
  } catch (const std::exception& failure) {
    ShowFailure(failure);
  } catch (...) {
    ShowUnknownFailure();
  }
}

enum class BorderStyle { Single, Dialog };

class TForm {
 public:
  explicit TForm(const std::string& caption);
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;
  virtual ~TForm() = default;

  const std::string& Caption() const { return caption_; }
  const std::vector<TControl*>& Controls() const { return controls_; }
  TControl* FindControl(int id) const;
  // The kind of timer `id`: a window timer when the form has no such timer.
  TimerKind TimerKindOf(uint32_t id) const;

  int Left() const { return left_; }
  int Top() const { return top_; }
  void SetPosition(int left, int top);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetClientSize(int width, int height);
  bool Visible() const { return visible_; }
  void Show();
  void Hide();
  // Asks `CloseQuery`; when it allows, hides the form and, for the main
  // form, ends the message loop.
  void Close();

  BorderStyle Border() const { return border_; }
  bool HasSystemMenu() const { return systemMenu_; }
  bool IsMainForm() const { return mainForm_; }
  void SetMainForm(bool main) { mainForm_ = main; }

  // Called by the platform. A failure raised by a handler ends there: the
  // user sees it in the application's error box and the program goes on.
  void DispatchTimer(uint32_t id);
  // A window message by number; true when handled, with its result.
  bool DispatchMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result);
  // The system asks to close the window (WM_CLOSE).
  void UserClose();
  // Windows asks whether the session may end: the close query's answer
  // (false when it failed).
  bool QueryEndSession();
  void UserMoved(int left, int top);

  virtual bool CloseQuery() { return true; }
  void RegisterControl(TControl& control);
  void RegisterTimer(TTimer& timer);

  void* handle = nullptr;

 protected:
  // The form's own handling of window messages by number.
  virtual bool HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result);
  void SetBorder(BorderStyle border, bool systemMenu) {
    border_ = border;
    systemMenu_ = systemMenu;
  }

 private:
  std::string caption_;
  std::vector<TControl*> controls_;
  std::vector<TTimer*> timers_;
  int left_ = 0;
  int top_ = 0;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  bool visible_ = false;
  bool mainForm_ = false;
  BorderStyle border_ = BorderStyle::Single;
  bool systemMenu_ = false;
};

}  // namespace hv
