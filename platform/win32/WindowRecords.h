// What the window layer's files share: the records of a form's window and
// of a control's windows, the window classes and small window helpers.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/FormWindows.h"

namespace hv {

inline constexpr char kFormClass[] = "HoraviaForm";
inline constexpr char kContainerClass[] = "HoraviaContainer";
inline constexpr char kApplicationClass[] = "HoraviaApplication";

// Container kinds kept in the container window's user data.
inline constexpr LONG_PTR kPageContainer = 1;
inline constexpr LONG_PTR kFrameContainer = 2;

// Window properties of a label window that reports the mouse: the layer
// and the label class's own window procedure.
inline constexpr char kLayerProperty[] = "HoraviaLayer";
inline constexpr char kProcProperty[] = "HoraviaProc";

inline std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

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
  bool flashing = false;  // asked for attention, until hidden
  // The running timers: the core's id and the system's id of this run.
  std::map<uint32_t, UINT_PTR> timers;
};

}  // namespace hv
