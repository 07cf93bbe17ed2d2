// The Windows program entry: installs the Win32 platform and runs the program.
#include "app/Program.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The command line and the environment are not read.
  hv::ConfineLibrarySearch();
  static hv::Win32Platform platform;
  hv::InstallPlatform(&platform);
  hv::InitializeUnits();
  return hv::ProgramMain();
}
