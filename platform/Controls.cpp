// Forms, controls and timers of the core's window framework.
#include "platform/Controls.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "common/Texts.h"
#include "platform/Platform.h"

namespace hv {

namespace {

std::string applicationTitle;

}  // namespace

void SetApplicationTitle(const std::string& title) {
  applicationTitle = title;
  Os().SetApplicationTitle(title);
}

const std::string& ApplicationTitle() {
  return applicationTitle;
}

void ShowException(const std::exception& failure) {
  std::string message = failure.what();
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  Os().MessageBox(message, applicationTitle, MessageBoxKind::Error, MessageBoxButtons::Ok);
}

void ShowFailure(const std::exception& failure) noexcept {
  try {
    ShowException(failure);
  } catch (...) {
    // Not even the box could be shown: the program goes on all the same.
  }
}

void ShowUnknownFailure() noexcept {
  try {
    ShowException(std::runtime_error(Text(TextId::TxtUnknownFailure)));
  } catch (...) {
  }
}

TControl::TControl(TForm& owner, ControlKind kind, int id, const char* name, TControl* parent,
                   Bounds bounds)
    : owner_(owner), kind_(kind), id_(id), name_(name), parent_(parent), bounds_(bounds) {
  owner.RegisterControl(*this);
}

void TControl::Changed() {
  if (observer) observer->ControlChanged(*this);
}

void TControl::SetBounds(const Bounds& bounds) {
  bounds_ = bounds;
  Changed();
}

void TControl::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Changed();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed();
}

void TControl::SetFontColor(Color color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  Changed();
}

void TControl::SetAlignment(Alignment alignment) {
  alignment_ = alignment;
  Changed();
}

void TControl::SetFont(const Font& font) {
  font_ = font;
  Changed();
}

void TControl::SetPicture(const std::string& resource) {
  if (resource == picture_) return;
  picture_ = resource;
  Changed();
}

void TControl::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  itemIndex_ = -1;
  Changed();
}

void TControl::SetItemIndexRaw(int index) {
  if (index == itemIndex_) return;
  itemIndex_ = index;
  Changed();
}

void TControl::UserClick() {
  if (!enabled_) return;
  if (OnClick) Guard(OnClick);
}

void TControl::UserMouseEnter() {
  Guard([this] { MouseEnter(); });
}

void TControl::UserMouseLeave() {
  Guard([this] { MouseLeave(); });
}

void TControl::UserSetText(const std::string& text) {
  // The screen already shows the text; only the state follows.
  text_ = text;
  if (OnChange) Guard(OnChange);
}

TLabel::TLabel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
               const std::string& caption)
    : TControl(owner, ControlKind::Label, id, name, parent, bounds) {
  SetText(caption);
}

TPanel::TPanel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
               const std::string& caption)
    : TControl(owner, ControlKind::Panel, id, name, parent, bounds) {
  SetText(caption);
  SetAlignment(Alignment::Center);
}

TFrame::TFrame(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds)
    : TControl(owner, ControlKind::Frame, id, name, parent, bounds) {}

TButton::TButton(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                 const std::string& caption)
    : TControl(owner, ControlKind::Button, id, name, parent, bounds) {
  SetText(caption);
}

TImage::TImage(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds)
    : TControl(owner, ControlKind::Image, id, name, parent, bounds) {}

TCheckBox::TCheckBox(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                     const std::string& caption)
    : TControl(owner, ControlKind::CheckBox, id, name, parent, bounds) {
  SetText(caption);
}

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed();
}

void TCheckBox::UserToggle() {
  if (!Enabled()) return;
  SetChecked(!checked_);
  if (OnClick) Guard(OnClick);
}

TRadioGroup::TRadioGroup(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                         const std::string& caption, std::vector<std::string> items)
    : TControl(owner, ControlKind::RadioGroup, id, name, parent, bounds) {
  SetText(caption);
  SetItems(std::move(items));
}

void TRadioGroup::SetItemIndex(int index) {
  const int last = static_cast<int>(Items().size()) - 1;
  SetItemIndexRaw(std::clamp(index, -1, last));
}

void TRadioGroup::UserSelect(int index) {
  if (!Enabled()) return;
  SetItemIndex(index);
  if (OnClick) Guard(OnClick);
}

TSpinEdit::TSpinEdit(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                     int minValue, int maxValue, int value)
    : TControl(owner, ControlKind::SpinEdit, id, name, parent, bounds),
      min_(minValue),
      max_(maxValue) {
  SetValue(value);
}

int TSpinEdit::Value() const {
  return std::clamp(TextValue(), min_, max_);
}

int TSpinEdit::TextValue() const {
  const std::string& text = Text();
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return min_;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  if (*first == '+' && last - first > 1 && first[1] != '-') ++first;  // "+-5" is no number
  int value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return min_;
  return value;
}

void TSpinEdit::SetValue(int value) {
  SetText(std::to_string(std::clamp(value, min_, max_)));
}

TComboBox::TComboBox(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                     std::vector<std::string> items)
    : TControl(owner, ControlKind::ComboBox, id, name, parent, bounds) {
  SetItems(std::move(items));
}

void TComboBox::SetItemIndex(int index) {
  const int count = static_cast<int>(Items().size());
  SetItemIndexRaw(index >= 0 && index < count ? index : -1);
}

void TComboBox::UserSelect(int index) {
  if (!Enabled()) return;
  SetItemIndex(index);
  if (OnChange) Guard(OnChange);
}

TPageControl::TPageControl(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds,
                           std::vector<std::string> pageCaptions)
    : TControl(owner, ControlKind::PageControl, id, name, parent, bounds) {
  SetItems(std::move(pageCaptions));
  SetItemIndexRaw(0);
}

void TPageControl::SetActivePageIndex(int index) {
  if (index < 0 || index >= static_cast<int>(Items().size())) return;
  SetItemIndexRaw(index);
}

void TPageControl::UserSelectPage(int index) {
  if (!Enabled() || index < 0 || index >= static_cast<int>(Items().size())) return;
  if (OnChange) Guard(OnChange);
  SetItemIndexRaw(index);
}

Bounds TPageControl::PageClientBounds() const {
  // Room for the tabs above and a thin border around the page.
  const Bounds& b = GetBounds();
  return Bounds{4, 26, b.width - 8, b.height - 30};
}

TPage::TPage(TForm& owner, int id, const char* name, TPageControl& pageControl, int pageIndex)
    : TControl(owner, ControlKind::Page, id, name, &pageControl, pageControl.PageClientBounds()),
      pageIndex_(pageIndex) {
  SetText(pageControl.Items().at(static_cast<size_t>(pageIndex)));
}

TTimer::TTimer(TForm& owner, uint32_t id, uint32_t interval, TimerKind kind)
    : owner_(owner), id_(id), interval_(interval), kind_(kind) {
  owner.RegisterTimer(*this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Restart() {
  enabled_ = true;
  Update();
}

void TTimer::SetInterval(uint32_t interval) {
  if (interval == interval_) return;
  interval_ = interval;
  Update();
}

void TTimer::Update() {
  // As the window framework does: any change restarts the timer (SetTimer
  // restarts a running one by itself).
  if (enabled_ && interval_ > 0)
    Os().SetTimer(owner_, id_, interval_);
  else
    Os().KillTimer(owner_, id_);
}

TForm::TForm(const std::string& caption) : caption_(caption) {}

TControl* TForm::FindControl(int id) const {
  for (TControl* c : controls_)
    if (c->Id() == id) return c;
  return nullptr;
}

TimerKind TForm::TimerKindOf(uint32_t id) const {
  for (const TTimer* t : timers_)
    if (t->Id() == id) return t->Kind();
  return TimerKind::Window;
}

void TForm::SetPosition(int left, int top) {
  left_ = left;
  top_ = top;
  if (handle) Os().UpdateFormWindow(*this);
}

void TForm::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
  if (handle) Os().UpdateFormWindow(*this);
}

void TForm::Show() {
  visible_ = true;
  if (handle) Os().UpdateFormWindow(*this);
}

void TForm::Hide() {
  visible_ = false;
  if (handle) Os().UpdateFormWindow(*this);
}

void TForm::Close() {
  if (!CloseQuery()) return;
  Hide();
  if (mainForm_) Os().Quit();
}

void TForm::DispatchTimer(uint32_t id) {
  for (TTimer* t : timers_) {
    if (t->Id() == id && t->Enabled()) {
      if (t->OnTimer) Guard(t->OnTimer);
      return;
    }
  }
}

bool TForm::DispatchMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) {
  bool handled = false;
  Guard([&] { handled = HandleMessage(message, wParam, lParam, result); });
  return handled;
}

bool TForm::HandleMessage(uint32_t, uintptr_t, intptr_t, intptr_t&) {
  return false;
}

void TForm::UserClose() {
  Guard([this] { Close(); });
}

bool TForm::QueryEndSession() {
  bool allowed = false;
  Guard([&] { allowed = CloseQuery(); });
  return allowed;
}

void TForm::UserMoved(int left, int top) {
  left_ = left;
  top_ = top;
}

void TForm::RegisterControl(TControl& control) {
  controls_.push_back(&control);
}

void TForm::RegisterTimer(TTimer& timer) {
  timers_.push_back(&timer);
}

}  // namespace hv
