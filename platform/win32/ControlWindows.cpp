// Each control's windows: their creation, and keeping them in step with the
// control's state.
#include <algorithm>

#include "platform/win32/WindowRecords.h"

namespace hv {

namespace {

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

}  // namespace

bool WindowLayer::ShouldShow(const TControl& control) const {
  if (!control.Visible()) return false;
  if (control.Kind() == ControlKind::Page) {
    const auto* page = dynamic_cast<const TPage*>(&control);
    return page && control.Parent() && control.Parent()->ItemIndex() == page->PageIndex();
  }
  return true;
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

}  // namespace hv
