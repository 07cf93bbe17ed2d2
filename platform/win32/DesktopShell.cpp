// Opening a link from an elevated process as the desktop's user: the
// desktop's shell (Explorer) starts it, with the user's own token.
#include "platform/win32/Win32Platform.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>

namespace hv {

namespace {

// The COM calls, loaded at the first use: a process that never opens a
// link elevated keeps the COM libraries out.
struct Com {
  HRESULT(WINAPI* CoInitializeEx)(LPVOID, DWORD) = nullptr;
  void(WINAPI* CoUninitialize)() = nullptr;
  HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
  BSTR(WINAPI* SysAllocString)(const OLECHAR*) = nullptr;
  void(WINAPI* SysFreeString)(BSTR) = nullptr;

  template <typename Function>
  static bool Resolve(HMODULE module, const char* name, Function& function) {
    function =
        module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
               : nullptr;
    return function != nullptr;
  }

  bool Load() {
    HMODULE ole = LoadLibraryA("ole32.dll");
    HMODULE automation = LoadLibraryA("oleaut32.dll");
    return Resolve(ole, "CoInitializeEx", CoInitializeEx) &&
           Resolve(ole, "CoUninitialize", CoUninitialize) &&
           Resolve(ole, "CoCreateInstance", CoCreateInstance) &&
           Resolve(automation, "SysAllocString", SysAllocString) &&
           Resolve(automation, "SysFreeString", SysFreeString);
  }
};

// An interface pointer released when it goes out of scope.
template <typename Interface>
class Ref {
 public:
  Ref() = default;
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  Interface** Put() { return &p_; }
  void** PutVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

// The desktop's folder view leads to the Shell.Application object of the
// desktop's own process; IShellDispatch2::ShellExecute runs there.
bool ShellExecuteOnDesktop(const Com& com, const std::wstring& link) {
  Ref<IShellWindows> windows;
  if (FAILED(com.CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                  IID_IShellWindows, windows.PutVoid())))
    return false;
  VARIANT none{};  // VT_EMPTY
  LONG desktopWindow = 0;
  Ref<IDispatch> desktop;
  if (windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                            desktop.Put()) != S_OK ||
      !desktop)
    return false;
  Ref<IServiceProvider> provider;
  Ref<IShellBrowser> browser;
  Ref<IShellView> view;
  Ref<IDispatch> background;
  Ref<IShellFolderViewDual> folderView;
  Ref<IDispatch> application;
  Ref<IShellDispatch2> shell;
  if (FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.PutVoid())) ||
      FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid())) ||
      FAILED(browser->QueryActiveShellView(view.Put())) || !view ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) ||
      !background ||
      FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.PutVoid())) ||
      FAILED(folderView->get_Application(application.Put())) || !application ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, shell.PutVoid())))
    return false;

  BSTR file = com.SysAllocString(link.c_str());
  VARIANT operation{};
  operation.vt = VT_BSTR;
  operation.bstrVal = com.SysAllocString(L"open");
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  const bool opened = file && operation.bstrVal &&
                      SUCCEEDED(shell->ShellExecute(file, none, none, operation, show));
  com.SysFreeString(operation.bstrVal);
  com.SysFreeString(file);
  return opened;
}

}  // namespace

bool OpenAsDesktopUser(const std::wstring& link) {
  static Com com;
  static const bool loaded = com.Load();
  if (!loaded) return false;
  const HRESULT init = com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool opened = ShellExecuteOnDesktop(com, link);
  if (SUCCEEDED(init)) com.CoUninitialize();
  return opened;
}

}  // namespace hv
