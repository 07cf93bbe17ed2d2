// Realisation of forms and controls as Win32 windows, and the message loop.
#include "platform/win32/FormWindows.h"

#include <algorithm>
#include <cstdlib>

namespace hv {

namespace {

const char kFormClass[] = "HoraviaForm";
const char kContainerClass[] = "HoraviaContainer";
const char kApplicationClass[] = "HoraviaApplication";
const char kMainIcon[] = "MAINICON";

// Container kinds kept in the container window's user data.
constexpr LONG_PTR kPageContainer = 1;
constexpr LONG_PTR kFrameContainer = 2;

// Posted to the application window when it was activated (from the
// taskbar): hands the activation on to the visible form.
constexpr UINT kActivateForm = WM_APP + 1;

// The system enters the core only through window procedures: each runs its
// work inside the core's guard, so that a failure is shown and the message
// counts as handled (result 0) instead of unwinding through the system.
template <typename Work>
LRESULT Guarded(Work&& work) noexcept {
  LRESULT result = 0;
  Guard([&] { result = work(); });
  return result;
}

COLORREF ToColorRef(Color color) {
  return IsSystemColor(color) ? GetSysColor(static_cast<int>(color & 0xFF)) : (color & 0xFFFFFF);
}

std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

void SetTextIfDifferent(HWND hwnd, const std::string& text) {
  if (WindowText(hwnd) != text) SetWindowTextA(hwnd, text.c_str());
}

void ShowIfDifferent(HWND hwnd, bool show) {
  const bool shown = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (shown != show) ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
}

void EnableIfDifferent(HWND hwnd, bool enable) {
  if ((IsWindowEnabled(hwnd) != FALSE) != enable) EnableWindow(hwnd, enable);
}

// The STATIC styles that place a control's text. Panels show "&" as it
// is; labels only when they do not mark access keys with it.
DWORD StaticTextStyle(const TControl& control) {
  const bool panel = control.Kind() == ControlKind::Panel;
  DWORD style = (panel || !control.ShowAccelChar()) ? SS_NOPREFIX : 0;
  switch (control.TextAlignment()) {
    case Alignment::Left:
      style |= (panel || control.WordWrap()) ? SS_LEFT : SS_LEFTNOWORDWRAP;
      break;
    case Alignment::Center:
      style |= SS_CENTER;
      break;
    case Alignment::Right:
      style |= SS_RIGHT;
      break;
  }
  if (panel) style |= SS_CENTERIMAGE;  // one line, vertically centred
  return style;
}

constexpr DWORD kStaticTextMask = SS_TYPEMASK | SS_CENTERIMAGE | SS_NOPREFIX;

// Window properties of a label window that reports the mouse: the layer
// and the label class's own window procedure.
const char kLayerProperty[] = "HoraviaLayer";
const char kProcProperty[] = "HoraviaProc";

// The picture resource's kind: an icon group, a bitmap, or neither.
enum class PictureKind { None, Icon, Bitmap };

PictureKind KindOfPicture(HINSTANCE instance, const std::string& name) {
  if (name.empty()) return PictureKind::None;
  if (FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(14))) return PictureKind::Icon;
  if (FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(2))) return PictureKind::Bitmap;
  return PictureKind::None;
}

// The bitmap resource `name` stretched smoothly to `width` x `height`; as it
// is stored when it has that size already (a copy would only take memory).
HBITMAP LoadStretchedBitmap(HINSTANCE instance, const std::string& name, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  HBITMAP source = static_cast<HBITMAP>(
      LoadImageA(instance, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!source) return nullptr;
  BITMAP info{};
  GetObjectA(source, sizeof info, &info);
  if (info.bmWidth == width && std::abs(info.bmHeight) == height) return source;
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP result = CreateCompatibleBitmap(screen, width, height);
  if (result) {
    HGDIOBJ oldFrom = SelectObject(from, source);
    HGDIOBJ oldTo = SelectObject(to, result);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, std::abs(info.bmHeight), SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
  }
  DeleteDC(from);
  DeleteDC(to);
  ReleaseDC(nullptr, screen);
  DeleteObject(source);
  return result;
}

}  // namespace

struct WindowLayer::ControlWindows {
  HWND main = nullptr;
  std::vector<HWND> items;  // radio buttons
  std::vector<std::string> itemTexts;
  HWND upDown = nullptr;
  HFONT font = nullptr;
  HICON icon = nullptr;
  HBITMAP bitmap = nullptr;     // a bitmap picture, stretched to the control
  HBRUSH background = nullptr;  // that picture as the brush of what lies over it
  std::string picture;
  bool mouseOver = false;  // a label that reports the mouse has it over it
  Color color = clWindowText;
  RECT placed{};       // where the control's bounds put it, in screen pixels
  int originLeft = 0;  // design offset of the control's parent inside the
  int originTop = 0;   // window that holds the control's window
};

struct WindowLayer::FormRecord {
  TForm* form = nullptr;
  WindowLayer* layer = nullptr;
  HWND hwnd = nullptr;
  HWND lastFocus = nullptr;
  bool dialog = false;
  // The running timers: the core's id and the system's id of this run.
  std::map<uint32_t, UINT_PTR> timers;
};

WindowLayer::WindowLayer() : instance_(GetModuleHandleA(nullptr)) {
  if (HDC screen = GetDC(nullptr)) {
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpi_ <= 0) dpi_ = 96;

  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  bool haveMetrics = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
  if (!haveMetrics) {
    // Systems before Vista know the structure without its last field.
    metrics.cbSize = sizeof(metrics) - sizeof(int);
    haveMetrics = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
  }
  if (haveMetrics) {
    defaultLogFont_ = metrics.lfMessageFont;
  } else {
    defaultLogFont_.lfHeight = -MulDiv(8, dpi_, 72);
    defaultLogFont_.lfWeight = FW_NORMAL;
    defaultLogFont_.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(defaultLogFont_.lfFaceName, "Tahoma", LF_FACESIZE);
  }
  defaultFont_ = CreateFontIndirectA(&defaultLogFont_);

  INITCOMMONCONTROLSEX init{sizeof(init),
                            ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&init);
  RegisterClasses();
}

WindowLayer::~WindowLayer() {
  // The forms may already be gone: their windows must not reach them.
  for (auto& record : forms_) {
    record->form = nullptr;
    if (record->hwnd) DestroyWindow(record->hwnd);
  }
  if (application_) DestroyWindow(application_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
  if (defaultFont_) DeleteObject(defaultFont_);
}

void WindowLayer::RegisterClasses() {
  HICON icon = LoadIconA(instance_, kMainIcon);
  if (!icon) icon = LoadIconA(nullptr, IDI_APPLICATION);

  WNDCLASSEXA form{};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = FormProc;
  form.hInstance = instance_;
  form.hIcon = icon;
  form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  RegisterClassExA(&form);

  WNDCLASSEXA container = form;
  container.lpfnWndProc = ContainerProc;
  container.hIcon = nullptr;
  container.lpszClassName = kContainerClass;
  RegisterClassExA(&container);

  WNDCLASSEXA application = form;
  application.lpfnWndProc = ApplicationProc;
  application.lpszClassName = kApplicationClass;
  RegisterClassExA(&application);
}

int WindowLayer::Scale(int designPixels) const {
  return MulDiv(designPixels, dpi_, 96);
}

RECT WindowLayer::ScaledRect(int left, int top, int width, int height) const {
  RECT r;
  r.left = Scale(left);
  r.top = Scale(top);
  r.right = Scale(left + width);
  r.bottom = Scale(top + height);
  return r;
}

HWND WindowLayer::ApplicationWindow() {
  if (!application_) {
    // Centred on the screen with no size, like the owner window of the
    // classic window frameworks: message boxes owned by it come up centred.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    application_ = CreateWindowExA(0, kApplicationClass, applicationTitle_.c_str(),
                                   WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                   nullptr, nullptr, instance_, this);
    if (application_) {
      SetWindowLongPtrA(application_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SetWindowPos(application_, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return application_;
}

void WindowLayer::SetApplicationTitle(const std::string& title) {
  applicationTitle_ = title;
  if (HWND app = ApplicationWindow()) SetWindowTextA(app, title.c_str());
}

void WindowLayer::ShowApplicationWindow(bool show) {
  HWND app = ApplicationWindow();
  if (!app) return;
  const bool shown = IsWindowVisible(app) != FALSE;
  if (show && !shown) ShowWindow(app, SW_SHOWNOACTIVATE);
  if (!show && shown) ShowWindow(app, SW_HIDE);
}

void WindowLayer::UpdateApplicationWindow() {
  bool any = modal_ > 0;
  for (const auto& record : forms_)
    if (record->hwnd && IsWindowVisible(record->hwnd)) any = true;
  ShowApplicationWindow(any);
}

void WindowLayer::BeginModal() {
  ++modal_;
  UpdateApplicationWindow();
}

void WindowLayer::EndModal() {
  if (modal_ > 0) --modal_;
  UpdateApplicationWindow();
}

WindowLayer::FormRecord* WindowLayer::Find(const TForm& form) const {
  for (const auto& record : forms_)
    if (record->form == &form) return record.get();
  return nullptr;
}

void WindowLayer::FrameSize(const FormRecord& record, int& width, int& height) const {
  RECT frame = {0, 0, Scale(record.form->ClientWidth()), Scale(record.form->ClientHeight())};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(record.hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(record.hwnd, GWL_EXSTYLE)));
  width = frame.right - frame.left;
  height = frame.bottom - frame.top;
}

void WindowLayer::CenterOnScreen(FormRecord& record) {
  RECT window;
  GetWindowRect(record.hwnd, &window);
  RECT work;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int left = work.left + (work.right - work.left - width) / 2;
  const int top = work.top + (work.bottom - work.top - height) / 2;
  SetWindowPos(record.hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  record.form->UserMoved(left, top);
}

void WindowLayer::RealizeForm(TForm& form) {
  if (Find(form)) return;
  auto owned = std::make_unique<FormRecord>();
  FormRecord& record = *owned;
  record.form = &form;
  record.layer = this;
  record.dialog = !form.IsMainForm() && form.Border() == BorderStyle::Dialog;

  DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (!form.IsMainForm()) {
    if (form.HasSystemMenu()) style |= WS_SYSMENU | WS_MINIMIZEBOX;
    if (form.Border() == BorderStyle::Dialog) exStyle |= WS_EX_DLGMODALFRAME;
  }
  RECT frame = {0, 0, Scale(form.ClientWidth()), Scale(form.ClientHeight())};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);

  forms_.push_back(std::move(owned));
  ++updating_;
  HWND hwnd = CreateWindowExA(exStyle, kFormClass, form.Caption().c_str(), style, form.Left(),
                              form.Top(), frame.right - frame.left, frame.bottom - frame.top,
                              ApplicationWindow(), nullptr, instance_, &record);
  if (!hwnd) {
    --updating_;
    forms_.pop_back();
    return;
  }
  record.hwnd = hwnd;
  formWindows_.insert(hwnd);
  form.handle = hwnd;
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(defaultFont_), FALSE);

  for (TControl* control : form.Controls()) CreateControl(record, *control);
  // Pictures lie under the controls placed over them.
  for (TControl* control : form.Controls())
    if (control->Kind() == ControlKind::Image && control->handle)
      SetWindowPos(static_cast<HWND>(control->handle), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  --updating_;

  if (record.dialog) CenterOnScreen(record);

  auto pending = pendingTimers_.find(&form);
  if (pending != pendingTimers_.end()) {
    for (auto [id, interval] : pending->second) StartTimer(record, id, interval);
    pendingTimers_.erase(pending);
  }
  if (form.Visible()) UpdateFormWindow(form);
}

void WindowLayer::DestroyFormWindow(TForm& form) {
  auto it = std::find_if(forms_.begin(), forms_.end(),
                         [&](const auto& record) { return record->form == &form; });
  pendingTimers_.erase(&form);
  if (it == forms_.end()) return;
  for (TControl* control : form.Controls()) {
    auto windows = controls_.find(control);
    if (windows == controls_.end()) continue;
    ControlWindows& w = *windows->second;
    parts_.erase(w.main);
    for (HWND item : w.items) parts_.erase(item);
    if (w.upDown) parts_.erase(w.upDown);
    if (w.icon) DestroyIcon(w.icon);
    if (w.background) {
      backgrounds_.erase(GetParent(w.main));
      DeleteObject(w.background);
    }
    if (w.bitmap) DeleteObject(w.bitmap);
    controls_.erase(windows);
    control->handle = nullptr;
    control->observer = nullptr;
  }
  FormRecord& record = **it;
  record.form = nullptr;
  formWindows_.erase(record.hwnd);
  DestroyWindow(record.hwnd);
  form.handle = nullptr;
  forms_.erase(it);
  UpdateApplicationWindow();
}

bool WindowLayer::ShouldShow(const TControl& control) const {
  if (!control.Visible()) return false;
  if (control.Kind() == ControlKind::Page) {
    const auto* page = dynamic_cast<const TPage*>(&control);
    return page && control.Parent() && control.Parent()->ItemIndex() == page->PageIndex();
  }
  return true;
}

HFONT WindowLayer::FontFor(const Font& font) {
  if (font.height == 0 && !font.bold && !font.underline && font.name.empty()) return defaultFont_;
  const std::string key = std::to_string(font.height) + (font.bold ? "b" : "-") +
                          (font.underline ? "u" : "-") + font.name;
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  LOGFONTA logFont = defaultLogFont_;
  if (font.height != 0) logFont.lfHeight = -Scale(font.height);
  logFont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  logFont.lfUnderline = font.underline ? TRUE : FALSE;
  logFont.lfItalic = FALSE;
  if (!font.name.empty())
    lstrcpynA(logFont.lfFaceName, FaceInstalled(font.name) ? font.name.c_str() : "Arial",
              LF_FACESIZE);
  HFONT created = CreateFontIndirectA(&logFont);
  if (!created) return defaultFont_;
  fonts_[key] = created;
  return created;
}

namespace {

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

}  // namespace

bool WindowLayer::FaceInstalled(const std::string& face) {
  auto it = faces_.find(face);
  if (it != faces_.end()) return it->second;
  bool found = false;
  LOGFONTA wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
  if (HDC screen = GetDC(nullptr)) {
    EnumFontFamiliesExA(screen, &wanted, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
  }
  faces_[face] = found;
  return found;
}

void WindowLayer::CreateControl(FormRecord& record, TControl& control) {
  if (controls_.count(&control)) return;

  // The window that holds this control's window: the nearest frame or page
  // among the parents (a page control holds its pages); other parents only
  // move the control by their position.
  int originLeft = 0;
  int originTop = 0;
  TControl* holder = control.Parent();
  while (holder) {
    const ControlKind kind = holder->Kind();
    if (kind == ControlKind::Frame || kind == ControlKind::Page) break;
    if (kind == ControlKind::PageControl && control.Kind() == ControlKind::Page) break;
    originLeft += holder->GetBounds().left;
    originTop += holder->GetBounds().top;
    holder = holder->Parent();
  }
  if (holder) CreateControl(record, *holder);  // parents first, whatever the order
  HWND parent = record.hwnd;
  if (holder) {
    auto it = controls_.find(holder);
    if (it != controls_.end() && it->second->main) parent = it->second->main;
  }

  auto owned = std::make_unique<ControlWindows>();
  ControlWindows& w = *owned;
  w.originLeft = originLeft;
  w.originTop = originTop;
  const Bounds& b = control.GetBounds();
  const RECT r = ScaledRect(originLeft + b.left, originTop + b.top, b.width, b.height);
  const int x = r.left, y = r.top, cx = r.right - r.left, cy = r.bottom - r.top;
  const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id()));
  DWORD style = WS_CHILD | WS_GROUP | (ShouldShow(control) ? WS_VISIBLE : 0);
  if (!control.Enabled()) style |= WS_DISABLED;
  const char* text = control.Text().c_str();

  switch (control.Kind()) {
    case ControlKind::Label:
      w.main = CreateWindowExA(0, "STATIC", text, style | SS_NOTIFY | StaticTextStyle(control), x,
                               y, cx, cy, parent, id, instance_, nullptr);
      if (w.main) {
        // The label reports the mouse coming and going (for links).
        SetPropA(w.main, kLayerProperty, this);
        SetPropA(w.main, kProcProperty,
                 reinterpret_cast<HANDLE>(SetWindowLongPtrA(
                     w.main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LabelProc))));
      }
      break;
    case ControlKind::Panel:
      w.main = CreateWindowExA(WS_EX_STATICEDGE, "STATIC", text,
                               style | SS_NOTIFY | SS_NOPREFIX | StaticTextStyle(control), x, y, cx,
                               cy, parent, id, instance_, nullptr);
      break;
    case ControlKind::Frame:
    case ControlKind::Page:
      w.main = CreateWindowExA(WS_EX_CONTROLPARENT, kContainerClass, text, style | WS_CLIPCHILDREN,
                               x, y, cx, cy, parent, id, instance_, nullptr);
      if (w.main)
        SetWindowLongPtrA(w.main, GWLP_USERDATA,
                          control.Kind() == ControlKind::Frame ? kFrameContainer : kPageContainer);
      break;
    case ControlKind::Button:
      w.main = CreateWindowExA(0, "BUTTON", text, style | WS_TABSTOP | BS_PUSHBUTTON, x, y, cx, cy,
                               parent, id, instance_, nullptr);
      break;
    case ControlKind::CheckBox:
      // A plain check box: its tick follows the control's state only.
      w.main = CreateWindowExA(0, "BUTTON", text, style | WS_TABSTOP | BS_CHECKBOX, x, y, cx, cy,
                               parent, id, instance_, nullptr);
      break;
    case ControlKind::RadioGroup:
      w.main = CreateWindowExA(0, "BUTTON", text, style | BS_GROUPBOX, x, y, cx, cy, parent, id,
                               instance_, nullptr);
      break;
    case ControlKind::SpinEdit: {
      w.main = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", text,
                               style | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL | ES_LEFT, x, y, cx,
                               cy, parent, id, instance_, nullptr);
      const HMENU arrowsId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id() + 1));
      w.upDown = CreateWindowExA(
          0, UPDOWN_CLASSA, "",
          (style & ~WS_GROUP) | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
          0, 0, 0, 0, parent, arrowsId, instance_, nullptr);
      if (w.upDown && w.main) {
        SendMessageA(w.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(w.main), 0);
        if (const auto* spin = dynamic_cast<const TSpinEdit*>(&control))
          SendMessageA(w.upDown, UDM_SETRANGE32, static_cast<WPARAM>(spin->MinValue()),
                       static_cast<LPARAM>(spin->MaxValue()));
        SetWindowTextA(w.main, text);
      }
      break;
    }
    case ControlKind::ComboBox: {
      // The window's height includes the opened list.
      const int listHeight = Scale(16) * (static_cast<int>(control.Items().size()) + 1);
      w.main =
          CreateWindowExA(0, "COMBOBOX", "", style | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, x,
                          y, cx, cy + listHeight, parent, id, instance_, nullptr);
      break;
    }
    case ControlKind::PageControl:
      w.main = CreateWindowExA(WS_EX_CONTROLPARENT, WC_TABCONTROLA, text,
                               style | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y, cx, cy,
                               parent, id, instance_, nullptr);
      break;
    case ControlKind::Image:
      w.main = CreateWindowExA(0, "STATIC", "",
                               style | SS_ICON | SS_CENTERIMAGE | SS_NOTIFY | WS_CLIPSIBLINGS, x, y,
                               cx, cy, parent, id, instance_, nullptr);
      break;
  }
  if (!w.main) return;

  w.placed = r;
  w.font = FontFor(control.GetFont());
  SendMessageA(w.main, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), FALSE);
  w.color = control.FontColor();
  parts_[w.main] = Part{&control, -1};
  if (w.upDown) parts_[w.upDown] = Part{&control, kUpDownPart};
  ControlWindows& stored = *owned;
  controls_[&control] = std::move(owned);
  if (control.Kind() == ControlKind::RadioGroup) CreateRadioItems(control, stored);

  control.handle = stored.main;
  control.observer = this;
  ++updating_;
  Apply(control, stored);
  --updating_;
}

void WindowLayer::CreateRadioItems(TControl& group, ControlWindows& w) {
  for (HWND item : w.items) {
    parts_.erase(item);
    DestroyWindow(item);
  }
  w.items.clear();
  w.itemTexts = group.Items();
  HWND parent = GetParent(w.main);
  HWND after = w.main;
  for (size_t i = 0; i < w.itemTexts.size(); ++i) {
    DWORD style = WS_CHILD | BS_RADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
    if (ShouldShow(group)) style |= WS_VISIBLE;
    if (!group.Enabled()) style |= WS_DISABLED;
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(group.Id() + 1 + int(i)));
    HWND item = CreateWindowExA(0, "BUTTON", w.itemTexts[i].c_str(), style, 0, 0, 0, 0, parent, id,
                                instance_, nullptr);
    if (!item) continue;
    // Keep the tab order: the items follow their group box.
    SetWindowPos(item, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = item;
    SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), FALSE);
    parts_[item] = Part{&group, static_cast<int>(i)};
    w.items.push_back(item);
  }
  LayoutRadioItems(group, w);
}

void WindowLayer::LayoutRadioItems(TControl& group, ControlWindows& w) {
  if (w.items.empty()) return;
  // As the classic radio group arranges them: the height below the caption
  // shared evenly, the rest of the division split above and below.
  TEXTMETRICA metrics{};
  HDC dc = GetDC(w.main);
  HGDIOBJ old = SelectObject(dc, w.font);
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(w.main, dc);

  const Bounds& b = group.GetBounds();
  const RECT box = ScaledRect(w.originLeft + b.left, w.originTop + b.top, b.width, b.height);
  const int count = static_cast<int>(w.items.size());
  const int room = (box.bottom - box.top) - metrics.tmHeight - Scale(5);
  const int itemHeight = std::max(room / count, 1);
  const int topMargin = metrics.tmHeight + 1 + (room % count) / 2;
  const int width = (box.right - box.left) - Scale(10);
  for (int i = 0; i < count; ++i)
    SetWindowPos(w.items[static_cast<size_t>(i)], nullptr, box.left + Scale(8),
                 box.top + topMargin + i * itemHeight, width - Scale(4), itemHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowLayer::ControlChanged(TControl& control) {
  auto it = controls_.find(&control);
  if (it == controls_.end()) return;
  ++updating_;
  Apply(control, *it->second);
  --updating_;
}

// Pushes the whole state of the control to its windows; only what differs
// from the screen is changed, so repeated calls do not flicker.
void WindowLayer::Apply(TControl& control, ControlWindows& w) {
  HWND hwnd = w.main;
  const bool show = ShouldShow(control);
  const ControlKind kind = control.Kind();

  if (kind != ControlKind::ComboBox && kind != ControlKind::Image &&
      kind != ControlKind::PageControl)
    SetTextIfDifferent(hwnd, control.Text());

  HFONT font = FontFor(control.GetFont());
  if (font != w.font) {
    w.font = font;
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    for (HWND item : w.items) SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }

  const Bounds& b = control.GetBounds();
  const RECT r = ScaledRect(w.originLeft + b.left, w.originTop + b.top, b.width, b.height);
  if (!EqualRect(&r, &w.placed)) {
    w.placed = r;
    int height = r.bottom - r.top;
    if (kind == ControlKind::ComboBox)
      height += Scale(16) * (static_cast<int>(control.Items().size()) + 1);
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (w.upDown)  // the arrows take their room from the edit again
      SendMessageA(w.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd), 0);
    if (kind == ControlKind::RadioGroup) LayoutRadioItems(control, w);
    if (kind == ControlKind::Image) w.picture.clear();  // the icon in the new size
  }

  if (kind == ControlKind::Label || kind == ControlKind::Panel) {
    const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
    const DWORD wanted = (style & ~kStaticTextMask) | StaticTextStyle(control);
    if (wanted != style) {
      SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(wanted));
      InvalidateRect(hwnd, nullptr, TRUE);
    }
  }

  if (control.FontColor() != w.color) {
    w.color = control.FontColor();
    InvalidateRect(hwnd, nullptr, TRUE);
    for (HWND item : w.items) InvalidateRect(item, nullptr, TRUE);
  }

  switch (kind) {
    case ControlKind::CheckBox:
      if (const auto* box = dynamic_cast<const TCheckBox*>(&control)) {
        const WPARAM state = box->Checked() ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageA(hwnd, BM_GETCHECK, 0, 0)) != state)
          SendMessageA(hwnd, BM_SETCHECK, state, 0);
      }
      break;
    case ControlKind::RadioGroup: {
      if (control.Items() != w.itemTexts) {
        if (control.Items().size() == w.items.size()) {
          w.itemTexts = control.Items();
          for (size_t i = 0; i < w.items.size(); ++i)
            SetTextIfDifferent(w.items[i], w.itemTexts[i]);
        } else {
          CreateRadioItems(control, w);
        }
      }
      for (size_t i = 0; i < w.items.size(); ++i) {
        const WPARAM state =
            static_cast<int>(i) == control.ItemIndex() ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageA(w.items[i], BM_GETCHECK, 0, 0)) != state)
          SendMessageA(w.items[i], BM_SETCHECK, state, 0);
        ShowIfDifferent(w.items[i], show);
        EnableIfDifferent(w.items[i], control.Enabled());
      }
      break;
    }
    case ControlKind::ComboBox: {
      const int count = static_cast<int>(SendMessageA(hwnd, CB_GETCOUNT, 0, 0));
      bool same = count == static_cast<int>(w.itemTexts.size()) && w.itemTexts == control.Items();
      if (!same) {
        SendMessageA(hwnd, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : control.Items())
          SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        w.itemTexts = control.Items();
      }
      if (SendMessageA(hwnd, CB_GETCURSEL, 0, 0) != control.ItemIndex())
        SendMessageA(hwnd, CB_SETCURSEL, static_cast<WPARAM>(control.ItemIndex()), 0);
      break;
    }
    case ControlKind::PageControl: {
      if (w.itemTexts != control.Items()) {
        SendMessageA(hwnd, TCM_DELETEALLITEMS, 0, 0);
        int index = 0;
        for (const std::string& caption : control.Items()) {
          TCITEMA item{};
          item.mask = TCIF_TEXT;
          item.pszText = const_cast<char*>(caption.c_str());
          SendMessageA(hwnd, TCM_INSERTITEMA, static_cast<WPARAM>(index++),
                       reinterpret_cast<LPARAM>(&item));
        }
        w.itemTexts = control.Items();
      }
      SyncPages(control);
      break;
    }
    case ControlKind::Image:
      if (control.Picture() != w.picture || (!w.icon && !w.bitmap && !control.Picture().empty()))
        LoadPicture(control, w);
      break;
    case ControlKind::SpinEdit:
      if (w.upDown) {
        ShowIfDifferent(w.upDown, show);
        EnableIfDifferent(w.upDown, control.Enabled());
      }
      break;
    default:
      break;
  }

  EnableIfDifferent(hwnd, control.Enabled());
  ShowIfDifferent(hwnd, show);
}

void WindowLayer::LoadPicture(TControl& control, ControlWindows& w) {
  HWND hwnd = w.main;
  w.picture = control.Picture();
  RECT client;
  GetClientRect(hwnd, &client);
  const PictureKind kind = KindOfPicture(instance_, w.picture);

  // An icon is drawn centred in its own size; a bitmap is stretched to the
  // control and also paints the background of what lies over it.
  HICON icon = nullptr;
  HBITMAP bitmap = nullptr;
  if (kind == PictureKind::Icon)
    icon = static_cast<HICON>(LoadImageA(instance_, w.picture.c_str(), IMAGE_ICON, client.right,
                                         client.bottom, LR_DEFAULTCOLOR));
  else if (kind == PictureKind::Bitmap)
    bitmap = LoadStretchedBitmap(instance_, w.picture, client.right, client.bottom);

  const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
  const DWORD type = bitmap ? SS_BITMAP : SS_ICON;
  if ((style & SS_TYPEMASK) != type)
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((style & ~SS_TYPEMASK) | type));
  SendMessageA(hwnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
  SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));

  if (w.icon) DestroyIcon(w.icon);
  if (w.background) DeleteObject(w.background);
  if (w.bitmap) DeleteObject(w.bitmap);
  w.icon = icon;
  w.bitmap = bitmap;
  w.background = bitmap ? CreatePatternBrush(bitmap) : nullptr;
  if (w.background)
    backgrounds_[GetParent(hwnd)] = hwnd;
  else
    backgrounds_.erase(GetParent(hwnd));
  InvalidateRect(hwnd, nullptr, TRUE);
}

HWND WindowLayer::BackgroundPicture(HWND window) const {
  for (HWND holder = GetParent(window); holder; holder = GetParent(holder)) {
    auto it = backgrounds_.find(holder);
    if (it != backgrounds_.end() && it->second != window &&
        (GetWindowLongA(it->second, GWL_STYLE) & WS_VISIBLE))
      return it->second;
    if (formWindows_.count(holder)) break;
  }
  return nullptr;
}

void WindowLayer::SyncPages(TControl& pageControl) {
  auto it = controls_.find(&pageControl);
  if (it == controls_.end()) return;
  HWND tabs = it->second->main;
  const int active = pageControl.ItemIndex();
  if (SendMessageA(tabs, TCM_GETCURSEL, 0, 0) != active)
    SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(active), 0);
  for (TControl* control : pageControl.Owner().Controls()) {
    if (control->Kind() != ControlKind::Page || control->Parent() != &pageControl) continue;
    auto page = controls_.find(control);
    if (page != controls_.end()) ShowIfDifferent(page->second->main, ShouldShow(*control));
  }
}

void WindowLayer::UpdateFormWindow(TForm& form) {
  FormRecord* record = Find(form);
  if (!record) return;
  HWND hwnd = record->hwnd;
  const bool show = form.Visible();
  const bool shown = IsWindowVisible(hwnd) != FALSE;

  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  int width = 0, height = 0;
  if (form.ClientWidth() > 0 && form.ClientHeight() > 0)
    FrameSize(*record, width, height);
  else
    flags |= SWP_NOSIZE;
  SetWindowPos(hwnd, nullptr, form.Left(), form.Top(), width, height, flags);
  if (record->dialog && show && !shown) CenterOnScreen(*record);

  if (show && !shown) {
    ShowApplicationWindow(true);
    ShowWindow(hwnd, SW_SHOW);
  } else if (!show && shown) {
    ShowWindow(hwnd, SW_HIDE);
    UpdateApplicationWindow();
  }
}

void WindowLayer::BringToFront(TForm& form) {
  FormRecord* record = Find(form);
  if (!record) return;
  SetForegroundWindow(record->hwnd);
  BringWindowToTop(record->hwnd);
}

void WindowLayer::SetTimer(TForm& form, uint32_t id, uint32_t interval) {
  FormRecord* record = Find(form);
  if (!record) {
    pendingTimers_[&form][id] = interval;
    return;
  }
  StopTimer(*record, id);
  StartTimer(*record, id, interval);
}

void WindowLayer::KillTimer(TForm& form, uint32_t id) {
  FormRecord* record = Find(form);
  if (!record) {
    auto pending = pendingTimers_.find(&form);
    if (pending != pendingTimers_.end()) pending->second.erase(id);
    return;
  }
  StopTimer(*record, id);
}

// Each run of a timer gets a system id of its own, so that a tick of an
// earlier run (one the system had already queued when the timer stopped)
// is recognised and dropped. The queue itself is left alone: ticks of the
// other timers, and a pending quit, stay as the system keeps them.
void WindowLayer::StartTimer(FormRecord& record, uint32_t id, uint32_t interval) {
  // Never 0, and never the id of a run still going (once the count wraps).
  auto inUse = [&](UINT_PTR run) {
    for (const auto& [other, current] : record.timers)
      if (current == run) return true;
    return false;
  };
  do {
    ++lastTimerRun_;
  } while (lastTimerRun_ == 0 || inUse(lastTimerRun_));
  if (::SetTimer(record.hwnd, lastTimerRun_, interval, nullptr)) record.timers[id] = lastTimerRun_;
}

void WindowLayer::StopTimer(FormRecord& record, uint32_t id) {
  auto running = record.timers.find(id);
  if (running == record.timers.end()) return;
  ::KillTimer(record.hwnd, running->second);
  record.timers.erase(running);
}

void WindowLayer::TimerTick(FormRecord& record, UINT_PTR run) {
  for (const auto& [id, current] : record.timers)
    if (current == run) {
      record.form->DispatchTimer(id);
      return;
    }
}

void WindowLayer::Dispatch(MSG& message) {
  if (message.hwnd) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (root && formWindows_.count(root) && IsDialogMessageA(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void WindowLayer::RunMessageLoop() {
  MSG message;
  while (!terminated_) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0) {
      terminated_ = true;
      break;
    }
    if (result == -1) break;
    Dispatch(message);
  }
}

void WindowLayer::WaitAndProcessMessages() {
  if (terminated_) return;
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      terminated_ = true;
      PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      return;
    }
    Dispatch(message);
  }
}

void WindowLayer::Quit() {
  // Seen at once by every loop, also a wait running inside a handler; the
  // posted quit ends any modal loop on the way out.
  terminated_ = true;
  PostQuitMessage(0);
}

// --- User input ---------------------------------------------------------------

void WindowLayer::Command(HWND child, UINT code) {
  if (updating_) return;  // caused by our own update of the window
  auto it = parts_.find(child);
  if (it == parts_.end()) return;
  TControl& control = *it->second.control;
  const int item = it->second.item;

  bool handled = false;
  switch (control.Kind()) {
    case ControlKind::Button:
      if ((handled = code == BN_CLICKED)) control.UserClick();
      break;
    case ControlKind::Label:
    case ControlKind::Panel:
    case ControlKind::Image:
      if ((handled = code == STN_CLICKED)) control.UserClick();
      break;
    case ControlKind::CheckBox:
      if ((handled = code == BN_CLICKED))
        if (auto* box = dynamic_cast<TCheckBox*>(&control)) box->UserToggle();
      break;
    case ControlKind::RadioGroup:
      if ((handled = code == BN_CLICKED && item >= 0))
        if (auto* group = dynamic_cast<TRadioGroup*>(&control)) group->UserSelect(item);
      break;
    case ControlKind::ComboBox:
      if ((handled = code == CBN_SELCHANGE))
        if (auto* combo = dynamic_cast<TComboBox*>(&control))
          combo->UserSelect(static_cast<int>(SendMessageA(child, CB_GETCURSEL, 0, 0)));
      break;
    case ControlKind::SpinEdit:
      if (code == EN_CHANGE) {
        // What the user typed is the state now, whatever it is.
        const std::string text = WindowText(child);
        if (text != control.Text()) control.UserSetText(text);
      } else if (code == EN_KILLFOCUS) {
        if (auto* spin = dynamic_cast<TSpinEdit*>(&control)) spin->SetValue(spin->Value());
      }
      break;
    default:
      break;
  }
  // The control may have refused the action (disabled): the screen shows
  // the state again.
  if (handled) ControlChanged(control);
}

void WindowLayer::Notify(const NMHDR& header) {
  if (updating_ || header.code != static_cast<UINT>(TCN_SELCHANGE)) return;
  auto it = parts_.find(header.hwndFrom);
  if (it == parts_.end() || it->second.control->Kind() != ControlKind::PageControl) return;
  TControl& control = *it->second.control;
  if (auto* pages = dynamic_cast<TPageControl*>(&control))
    pages->UserSelectPage(static_cast<int>(SendMessageA(header.hwndFrom, TCM_GETCURSEL, 0, 0)));
  ++updating_;
  SyncPages(control);
  --updating_;
}

void WindowLayer::UpDownScrolled(HWND upDown) {
  if (updating_) return;
  auto it = parts_.find(upDown);
  if (it == parts_.end() || it->second.item != kUpDownPart) return;
  TControl& control = *it->second.control;
  auto windows = controls_.find(&control);
  if (windows == controls_.end()) return;
  const std::string text = WindowText(windows->second->main);
  if (text != control.Text()) control.UserSetText(text);
}

LRESULT WindowLayer::ControlColor(HWND child, HDC dc, bool isStatic) {
  auto it = parts_.find(child);
  const Color color = it != parts_.end() ? it->second.control->FontColor() : clWindowText;
  SetTextColor(dc, ToColorRef(color));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  // Texts and frames over a picture show the picture around them: its
  // brush, aligned with where the picture lies.
  if (HWND picture = isStatic ? BackgroundPicture(child) : nullptr) {
    auto windows = controls_.find(parts_.at(picture).control);
    POINT origin = {0, 0};
    MapWindowPoints(child, picture, &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(windows->second->background);
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT WindowLayer::LabelMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  WNDPROC original) {
  auto it = parts_.find(hwnd);
  if (it != parts_.end() && (message == WM_MOUSEMOVE || message == WM_MOUSELEAVE)) {
    TControl& control = *it->second.control;
    ControlWindows& w = *controls_.at(&control);
    const bool over = message == WM_MOUSEMOVE && control.OnClick;
    if (over != w.mouseOver) {
      w.mouseOver = over;
      if (over) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
      }
      if (over)
        control.UserMouseEnter();
      else
        control.UserMouseLeave();
    }
  }
  return CallWindowProcA(original, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK WindowLayer::LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&]() -> LRESULT {
    auto* layer = static_cast<WindowLayer*>(GetPropA(hwnd, kLayerProperty));
    auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kProcProperty));
    if (!original) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      RemovePropA(hwnd, kLayerProperty);
      RemovePropA(hwnd, kProcProperty);
      return CallWindowProcA(original, hwnd, message, wParam, lParam);
    }
    if (!layer) return CallWindowProcA(original, hwnd, message, wParam, lParam);
    return layer->LabelMessage(hwnd, message, wParam, lParam, original);
  });
}

// --- Window procedures ----------------------------------------------------------

LRESULT WindowLayer::FormMessage(FormRecord& record, HWND hwnd, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
  TForm& form = *record.form;
  switch (message) {
    case WM_TIMER:
      TimerTick(record, wParam);
      return 0;
    case WM_CLOSE:
      form.UserClose();
      return 0;
    case WM_QUERYENDSESSION:
      return form.QueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      // The session ends: the close query has run. When it was cancelled,
      // the form hears of it below.
      if (wParam) ExitProcess(0);
      break;
    case WM_COMMAND:
      if (lParam) {
        Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
      }
      break;
    case WM_NOTIFY:
      if (lParam) Notify(*reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_VSCROLL:
      if (lParam) {
        UpDownScrolled(reinterpret_cast<HWND>(lParam));
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ControlColor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                          message == WM_CTLCOLORSTATIC);
    case WM_MOVE: {
      RECT window;
      if (GetWindowRect(hwnd, &window)) form.UserMoved(window.left, window.top);
      return 0;
    }
    case WM_SETCURSOR: {
      // Labels that do something when clicked show the hand.
      auto it = parts_.find(reinterpret_cast<HWND>(wParam));
      if (it != parts_.end() && it->second.control->Kind() == ControlKind::Label &&
          it->second.control->OnClick && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
  }

  intptr_t result = 0;
  if (form.DispatchMessage(message, wParam, lParam, result)) return result;

  if (message == WM_ACTIVATE) {
    // Keyboard focus goes back to the control that had it, as in dialogs.
    if (LOWORD(wParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus && IsChild(hwnd, focus)) record.lastFocus = focus;
      return 0;
    }
    if (!HIWORD(wParam)) {  // not minimised
      HWND target = record.lastFocus;
      if (!target || !IsWindow(target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
        target = GetNextDlgTabItem(hwnd, nullptr, FALSE);
      SetFocus(target ? target : hwnd);
    }
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK WindowLayer::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* record = reinterpret_cast<FormRecord*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!record || !record->form) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (!record->hwnd) record->hwnd = hwnd;  // messages sent during creation
  return Guarded(
      [&] { return record->layer->FormMessage(*record, hwnd, message, wParam, lParam); });
}

LRESULT CALLBACK WindowLayer::ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&] { return ContainerMessage(hwnd, message, wParam, lParam); });
}

LRESULT WindowLayer::ContainerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      // The form handles what the controls inside report.
      if (HWND root = GetAncestor(hwnd, GA_ROOT))
        if (root != hwnd) return SendMessageA(root, message, wParam, lParam);
      break;
    case WM_ERASEBKGND:
      // A frame takes its background from the form as a static text does,
      // so that a frame over a picture shows the picture.
      if (GetWindowLongPtrA(hwnd, GWLP_USERDATA) == kFrameContainer) {
        HWND root = GetAncestor(hwnd, GA_ROOT);
        HDC dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(
            root ? SendMessageA(root, WM_CTLCOLORSTATIC, wParam, reinterpret_cast<LPARAM>(hwnd))
                 : 0);
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
      }
      break;
    case WM_PAINT:
      if (GetWindowLongPtrA(hwnd, GWLP_USERDATA) == kFrameContainer) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
        EndPaint(hwnd, &paint);
        return 0;
      }
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK WindowLayer::ApplicationProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* layer = reinterpret_cast<WindowLayer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!layer) return DefWindowProcA(hwnd, message, wParam, lParam);
  return Guarded([&] { return layer->ApplicationMessage(hwnd, message, wParam, lParam); });
}

LRESULT WindowLayer::ApplicationMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Activated through the taskbar entry: the shown form takes over.
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(hwnd, kActivateForm, 0, 0);
      return 0;
    case kActivateForm:
      if (GetActiveWindow() == hwnd)
        for (const auto& record : forms_)
          if (record->form && IsWindowVisible(record->hwnd)) {
            SetActiveWindow(record->hwnd);
            break;
          }
      return 0;
    case WM_CLOSE:
      // "Close window" on the taskbar entry: the system asks the main form
      // to close, as its own close message does.
      for (const auto& record : forms_)
        if (record->form && record->form->IsMainForm()) {
          record->form->UserClose();
          break;
        }
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace hv
