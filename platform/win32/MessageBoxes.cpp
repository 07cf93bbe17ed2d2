// Message boxes: MessageBoxA, and a dialog built from an in-memory template.
#include "platform/win32/MessageBoxes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Controls.h"

namespace hv {

namespace {

constexpr int kIconId = 20;  // as in the system's message boxes

UINT IconFlag(MessageBoxKind kind) {
  switch (kind) {
    case MessageBoxKind::Information:
      return MB_ICONINFORMATION;
    case MessageBoxKind::Warning:
      return MB_ICONWARNING;
    case MessageBoxKind::Error:
      return MB_ICONERROR;
  }
  return 0;
}

LPCSTR SystemIcon(MessageBoxKind kind) {
  switch (kind) {
    case MessageBoxKind::Information:
      return IDI_ASTERISK;
    case MessageBoxKind::Warning:
      return IDI_EXCLAMATION;
    case MessageBoxKind::Error:
      return IDI_HAND;
  }
  return IDI_HAND;
}

// A DLGTEMPLATE with its items, built word by word (the layout requires
// DWORD-aligned items; all strings are UTF-16).
class TemplateWriter {
 public:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(std::max(n, 1)));
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, wide.data(), n);
    for (size_t i = 0; i + 1 < wide.size(); ++i) Word(static_cast<WORD>(wide[i]));
    Word(0);
  }
  void Align() {
    if (words_.size() % 2) Word(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom,
            const std::string& text) {
    Align();
    Dword(style);
    Dword(0);  // extended style
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;
};

struct CancelBox {
  std::string text;
  MessageBoxKind kind;
};

// Sizes the dialog to its text, the way the system's boxes look: icon left,
// text right of it, the button centred below; the box centred on the screen.
void Layout(HWND dialog, const CancelBox& box) {
  HWND textWindow = GetDlgItem(dialog, kMessageTextId);
  HWND iconWindow = GetDlgItem(dialog, kIconId);
  HWND button = GetDlgItem(dialog, IDCANCEL);

  RECT unit = {0, 0, 4, 8};  // dialog units to pixels
  MapDialogRect(dialog, &unit);
  const int margin = unit.right * 3;  // 12 dialog units
  const int iconSize = GetSystemMetrics(SM_CXICON);
  const int buttonWidth = MulDiv(50, unit.right, 4);
  const int buttonHeight = MulDiv(14, unit.bottom, 8);

  RECT textRect = {0, 0, GetSystemMetrics(SM_CXSCREEN) * 3 / 5, 0};
  HDC dc = GetDC(textWindow);
  HGDIOBJ oldFont =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(textWindow, WM_GETFONT, 0, 0)));
  DrawTextA(dc, box.text.c_str(), -1, &textRect,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  ReleaseDC(textWindow, dc);

  const int textWidth = textRect.right - textRect.left;
  const int textHeight = std::max<int>(textRect.bottom - textRect.top, iconSize);
  const int textLeft = margin + iconSize + margin;
  const int clientWidth = std::max(textLeft + textWidth + margin, buttonWidth + 2 * margin);
  const int buttonTop = margin + textHeight + margin;
  const int clientHeight = buttonTop + buttonHeight + margin;

  SetWindowPos(iconWindow, nullptr, margin, margin, iconSize, iconSize, SWP_NOZORDER);
  SetWindowPos(textWindow, nullptr, textLeft,
               margin + (textHeight - (textRect.bottom - textRect.top)) / 2, textWidth + 1,
               textRect.bottom - textRect.top, SWP_NOZORDER);
  SetWindowPos(button, nullptr, (clientWidth - buttonWidth) / 2, buttonTop, buttonWidth,
               buttonHeight, SWP_NOZORDER);

  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(dialog, HWND_TOP, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height, 0);
}

INT_PTR CancelBoxMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* box = reinterpret_cast<const CancelBox*>(lParam);
      SetDlgItemTextA(dialog, kMessageTextId, box->text.c_str());
      SendDlgItemMessageA(dialog, kIconId, STM_SETICON,
                          reinterpret_cast<WPARAM>(LoadIconA(nullptr, SystemIcon(box->kind))), 0);
      Layout(dialog, *box);
      SetForegroundWindow(dialog);
      return TRUE;  // focus to the button
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// The box's dialog procedure, inside the guard like every window procedure.
INT_PTR CALLBACK CancelBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = FALSE;
  Guard([&] { result = CancelBoxMessage(dialog, message, wParam, lParam); });
  return result;
}

int ShowCancelBox(HWND owner, const std::string& text, const std::string& caption,
                  MessageBoxKind kind) {
  TemplateWriter t;
  // DLGTEMPLATE: style, extended style, item count, position and size
  // (set again by the layout), then menu, class (#32770), title, font.
  t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  t.Dword(0);
  t.Word(3);
  t.Word(0);
  t.Word(0);
  t.Word(200);
  t.Word(80);
  t.Word(0);  // no menu
  t.Word(0);  // the dialog class
  t.Text(caption);
  t.Word(8);
  t.Text("MS Shell Dlg");
  t.Item(WS_CHILD | WS_VISIBLE | SS_ICON, 8, 8, 21, 20, kIconId, 0x0082, "");
  t.Item(WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP, 40, 8, 150, 30,
         static_cast<WORD>(kMessageTextId), 0x0082, "");
  t.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 75, 50, 50, 14, IDCANCEL,
         0x0080, "Cancel");

  CancelBox box{text, kind};
  INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Data(), owner,
                                           CancelBoxProc, reinterpret_cast<LPARAM>(&box));
  return result > 0 ? static_cast<int>(result) : 0;
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                   MessageBoxKind kind, MessageBoxButtons buttons) {
  if (buttons == MessageBoxButtons::Cancel) return ShowCancelBox(owner, text, caption, kind);
  return MessageBoxA(owner, text.c_str(), caption.c_str(),
                     MB_OK | IconFlag(kind) | MB_SETFOREGROUND);
}

}  // namespace hv
