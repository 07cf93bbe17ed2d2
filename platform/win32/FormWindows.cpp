// The forms' windows and the application's owner window: creation, size
// and place, showing and hiding, destruction.
#include "platform/win32/FormWindows.h"

#include <algorithm>

#include "platform/win32/DynamicApi.h"
#include "platform/win32/WindowRecords.h"

namespace hv {

namespace {

const char kMainIcon[] = "MAINICON";

// Per window where the system can (Windows 7), else for the process (Vista);
// earlier systems have no such filter.
void AllowThroughMessageFilter(HWND window, UINT message) {
  const dyn::Api& api = dyn::Functions();
  if (api.ChangeWindowMessageFilterEx)
    api.ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
  else if (api.ChangeWindowMessageFilter)
    api.ChangeWindowMessageFilter(message, MSGFLT_ADD);
}

void Flash(HWND window, DWORD flags) {
  FLASHWINFO info = {sizeof(FLASHWINFO), window, flags, 0, 0};
  if (auto flash = dyn::Functions().FlashWindowEx; flash && window) flash(&info);
}

}  // namespace

DWORD CommonControlClasses(DWORD majorVersion, DWORD /*minorVersion*/) {
  DWORD classes = ICC_TAB_CLASSES | ICC_UPDOWN_CLASS;
  if (majorVersion >= 6) classes |= ICC_STANDARD_CLASSES;
  return classes;
}

bool InitCommonControlClasses(InitCommonControlsExFunction init) {
  DLLVERSIONINFO version{};
  version.cbSize = sizeof version;
  auto getVersion = dyn::Functions().DllGetVersion;
  if (!getVersion || FAILED(getVersion(&version))) version.dwMajorVersion = 4;  // before 4.71
  INITCOMMONCONTROLSEX classes{
      sizeof classes, CommonControlClasses(version.dwMajorVersion, version.dwMinorVersion)};
  if (init(&classes)) return true;
  // One class at a time, so that one the library refuses costs only itself.
  const DWORD wanted = classes.dwICC;
  bool all = true;
  for (DWORD flag = 1; flag != 0 && flag <= wanted; flag <<= 1) {
    if (!(wanted & flag)) continue;
    classes.dwICC = flag;
    all = init(&classes) && all;
  }
  return all;
}

WindowLayer::WindowLayer() : instance_(GetModuleHandleA(nullptr)) {
  if (HDC screen = GetDC(nullptr)) {
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpi_ <= 0) dpi_ = 96;

  CreateDefaultFont();

  InitCommonControlClasses();
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
  for (UINT message : allowedMessages_) AllowThroughMessageFilter(hwnd, message);

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

void WindowLayer::AllowRegisteredMessage(UINT message) {
  if (std::find(allowedMessages_.begin(), allowedMessages_.end(), message) !=
      allowedMessages_.end())
    return;
  allowedMessages_.push_back(message);
  for (const auto& record : forms_)
    if (record->hwnd) AllowThroughMessageFilter(record->hwnd, message);
}

void WindowLayer::DestroyFormWindow(TForm& form) {
  auto it = std::find_if(forms_.begin(), forms_.end(),
                         [&](const auto& record) { return record->form == &form; });
  pendingTimers_.erase(&form);
  std::erase_if(waitTimers_, [&](const WaitTimer& timer) { return timer.form == &form; });
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
    // The taskbar entry is the application window's, which may stay (the
    // main window shown): it would go on flashing for a form long gone.
    if (record->flashing) {
      record->flashing = false;
      Flash(hwnd, FLASHW_STOP);
      Flash(ApplicationWindow(), FLASHW_STOP);
    }
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

void WindowLayer::FlashForm(TForm& form) {
  FormRecord* record = Find(form);
  if (!record) return;
  record->flashing = true;
  Flash(record->hwnd, FLASHW_CAPTION | FLASHW_TIMERNOFG);
  Flash(ApplicationWindow(), FLASHW_TRAY | FLASHW_TIMERNOFG);
}

}  // namespace hv
