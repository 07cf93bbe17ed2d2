// BareTray.exe: the least a tray program can be, as the benchmark's yardstick for Horavia.
//
// One hidden top-level window, one tray icon and one 200 ms timer whose handler does nothing;
// it ends when its window is closed or destroyed.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTickMs = 200;

NOTIFYICONDATAA TrayIcon(HWND window) {
  NOTIFYICONDATAA icon{};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = window;
  icon.uID = 1;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = kTrayMessage;
  icon.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
  lstrcpynA(icon.szTip, "BareTray", sizeof icon.szTip);
  return icon;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      return 0;
    case WM_DESTROY: {
      KillTimer(window, kTimerId);
      NOTIFYICONDATAA icon = TrayIcon(window);
      Shell_NotifyIconA(NIM_DELETE, &icon);
      PostQuitMessage(0);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "BareTray";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, "BareTray", "BareTray", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 300, 200, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  NOTIFYICONDATAA icon = TrayIcon(window);
  if (!Shell_NotifyIconA(NIM_ADD, &icon)) return 1;
  if (!SetTimer(window, kTimerId, kTickMs, nullptr)) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
