// The window procedures, the system's ways into the layer, each inside the
// core's guard; and the routing of what the user does back to the controls.
#include "platform/win32/WindowRecords.h"

namespace hv {

namespace {

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

}  // namespace

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
