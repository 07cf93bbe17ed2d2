// The windows behind the core's forms and controls: creation, keeping them
// in step with the controls' state, user input back to the core, window
// timers and the message loop. One class; its work is split by concern over
// FormWindows.cpp, ControlWindows.cpp, FontsAndPictures.cpp, MessageLoop.cpp
// and WindowProcs.cpp, which share the records of WindowRecords.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Controls.h"
#include "platform/win32/WinApi.h"

namespace hv {

// Asks for the common controls' classes the windows use, with the flags the
// loaded comctl32 knows; false when not all could be registered. `init` is
// comctl32's InitCommonControlsEx, or a test's stand-in.
using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
bool InitCommonControlClasses(InitCommonControlsExFunction init = InitCommonControlsEx);
// Those flags for comctl32 of this version: version 6 alone knows the
// standard classes, and an unknown flag fails the whole request.
DWORD CommonControlClasses(DWORD majorVersion, DWORD minorVersion);

class WindowLayer final : public ControlObserver {
 public:
  WindowLayer();
  ~WindowLayer() override;
  WindowLayer(const WindowLayer&) = delete;
  WindowLayer& operator=(const WindowLayer&) = delete;

  // The application's owner window: zero size, its title the taskbar entry;
  // shown (without activation) only while a form or a message box is up.
  // Created on first use; null only if window creation failed.
  HWND ApplicationWindow();
  void SetApplicationTitle(const std::string& title);

  // Creates the form's window (hidden unless the form is visible) and one
  // child window per control. A form is realised once; later calls do
  // nothing.
  void RealizeForm(TForm& form);
  // Destroys the form's windows and forgets the form and its controls (for
  // forms that end before the process, as in tests).
  void DestroyFormWindow(TForm& form);
  void UpdateFormWindow(TForm& form);
  void BringToFront(TForm& form);
  // Flashes the form's caption and the taskbar entry, which belongs to the
  // application window (the owner of every form), until they come to the
  // foreground or the form is hidden.
  void FlashForm(TForm& form);

  // Timers. A window timer of a form not realised yet starts with its
  // window; a wait timer needs no window (TimerKind).
  void SetTimer(TForm& form, uint32_t id, uint32_t interval);
  void KillTimer(TForm& form, uint32_t id);

  void RunMessageLoop();
  void WaitAndProcessMessages();
  void Quit();
  bool Terminated() const { return terminated_; }

  // Brackets a modal message box: the taskbar entry is shown meanwhile.
  void BeginModal();
  void EndModal();

  // Lets a registered message reach the forms' windows (those realised and
  // those to come) from processes of lower integrity, which the system's
  // message filter keeps from an elevated process: a restarted shell
  // announces its taskbar so.
  void AllowRegisteredMessage(UINT message);

  // Design pixels (96 dpi) to screen pixels.
  int Scale(int designPixels) const;

  void ControlChanged(TControl& control) override;

 private:
  struct FormRecord;
  struct ControlWindows;
  struct Part {
    TControl* control;
    int item;  // -1 the control's window, >= 0 a radio item, kUpDownPart
  };
  static constexpr int kUpDownPart = -2;

  // FormWindows.cpp: the forms' windows and the application window.
  void RegisterClasses();
  FormRecord* Find(const TForm& form) const;
  RECT ScaledRect(int left, int top, int width, int height) const;
  void ShowApplicationWindow(bool show);
  void UpdateApplicationWindow();
  void CenterOnScreen(FormRecord& record);
  void FrameSize(const FormRecord& record, int& width, int& height) const;

  // ControlWindows.cpp: each control's windows.
  void CreateControl(FormRecord& record, TControl& control);
  void CreateRadioItems(TControl& group, ControlWindows& windows);
  void LayoutRadioItems(TControl& group, ControlWindows& windows);
  void Apply(TControl& control, ControlWindows& windows);
  void SyncPages(TControl& pageControl);
  bool ShouldShow(const TControl& control) const;

  // FontsAndPictures.cpp: fonts, pictures and colours.
  void CreateDefaultFont();
  HFONT FontFor(const Font& font);
  // Whether a font of this face name is installed (asked once per name).
  bool FaceInstalled(const std::string& face);
  void LoadPicture(TControl& image, ControlWindows& windows);
  // The picture window that lies under `window` and paints its background
  // (a bitmap picture in one of the windows holding it); null when none.
  HWND BackgroundPicture(HWND window) const;
  LRESULT ControlColor(HWND child, HDC dc, bool isStatic);

  // MessageLoop.cpp: timers and the loop.
  struct WaitTimer {
    TForm* form;
    uint32_t id;
    int64_t intervalUs;
    int64_t dueUs;  // on the performance counter, in microseconds
  };
  void Dispatch(MSG& message);
  void StartTimer(FormRecord& record, uint32_t id, uint32_t interval);
  void StopTimer(FormRecord& record, uint32_t id);
  void TimerTick(FormRecord& record, UINT_PTR run);
  void StopWaitTimer(const TForm& form, uint32_t id);
  int64_t CounterUs() const;
  // Milliseconds until the next wait timer falls due (0 when one is due),
  // INFINITE when none runs.
  DWORD WaitTimeout() const;
  // Ticks the wait timer that fell due first, if any.
  bool TickDueWaitTimer();
  // Handles the pending messages, then the due wait timers.
  void HandlePending();

  // WindowProcs.cpp: the window procedures and the user's input.
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT FormMessage(FormRecord& record, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT ContainerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ApplicationMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT LabelMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC original);
  void Command(HWND child, UINT code);
  void Notify(const NMHDR& header);
  void UpDownScrolled(HWND upDown);

  HINSTANCE instance_;
  HWND application_ = nullptr;
  std::string applicationTitle_;
  int dpi_ = 96;
  HFONT defaultFont_ = nullptr;
  LOGFONTA defaultLogFont_{};
  std::map<std::string, HFONT> fonts_;
  std::map<std::string, bool> faces_;
  std::unordered_map<HWND, HWND> backgrounds_;  // holder window -> its picture
  std::vector<std::unique_ptr<FormRecord>> forms_;
  std::unordered_set<HWND> formWindows_;
  std::unordered_map<const TControl*, std::unique_ptr<ControlWindows>> controls_;
  std::unordered_map<HWND, Part> parts_;
  std::map<const TForm*, std::map<uint32_t, uint32_t>> pendingTimers_;
  std::vector<WaitTimer> waitTimers_;     // in the order they were set
  mutable int64_t counterFrequency_ = 0;  // counts per second; -1: no counter
  std::vector<UINT> allowedMessages_;
  UINT_PTR lastTimerRun_ = 0;  // system id of the timer run started last
  int updating_ = 0;           // > 0 while state is pushed to windows
  int modal_ = 0;
  bool terminated_ = false;
};

}  // namespace hv
