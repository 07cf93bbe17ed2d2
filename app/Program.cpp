// The program entry and the order of the unit initialisations.
#include "app/Program.h"

#include "app/Application.h"
#include "common/Texts.h"
#include "config/UnitConfig.h"
#include "timekeeping/PCTime.h"
#include "timekeeping/Prectime.h"
#include "timekeeping/SysCheck.h"

namespace hv {

namespace {
TApplication* running = nullptr;
constexpr const char* kMutexName = "Tempiva";
}  // namespace

TApplication* Application() {
  return running;
}

void InitializeUnits() {
  InitializePrectime();
  InitializeUnitConfig();
  InitializePCTime();
  InitializeSysCheck();
}

TApplication::~TApplication() {
  if (running == this) running = nullptr;
}

bool TApplication::Start() {
  running = this;
  // The handle stays open until the process ends, which releases it.
  const bool created = Os().CreateMutex(kMutexName, true);
  const uint32_t error = Os().GetLastError();
  // A mutex this process may not open belongs to an instance running
  // elevated, or under another account: one runs all the same.
  if (error == kErrorAlreadyExists || (!created && error == kErrorAccessDenied)) {
    Os().MessageBeep(0);
    Os().MessageBox(JoinLines({Text(TextId::TxtProductName), Text(TextId::TxtIsJustRunning)}),
                    Text(TextId::TxtProductName), MessageBoxKind::Information,
                    MessageBoxButtons::Ok);
    return false;
  }
  // The main window stays hidden when the message loop starts.
  SetApplicationTitle(Text(TextId::TxtApplicationTitle));

  FormMain = std::make_unique<TFormMain>();
  Os().RealizeForm(*FormMain);
  FormMain->FormCreate();

  FormLowBat = std::make_unique<TFormLowBat>();
  Os().RealizeForm(*FormLowBat);
  FormLowBat->FormCreate();

  DataModulePlausibility = std::make_unique<TDataModulePlausibility>();
  DataModulePlausibility->DataModuleCreate();
  return true;
}

int ProgramMain() {
  TApplication application;
  if (application.Start()) Os().RunMessageLoop();
  return 0;
}

}  // namespace hv
