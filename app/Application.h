// The application: the three top-level objects, created in order, and the
// single-instance guard in front of them.
#pragma once

#include <memory>

#include "app/UnitMain.h"
#include "device/UnitLowBat.h"
#include "timekeeping/UnitPlausibility.h"

namespace hv {

class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  // The entry code up to the message loop. False when another instance
  // runs (after its notice); the objects then do not exist.
  bool Start();

  std::unique_ptr<TFormMain> FormMain;
  std::unique_ptr<TFormLowBat> FormLowBat;
  std::unique_ptr<TDataModulePlausibility> DataModulePlausibility;
};

// The application being started or run (from `Start` until it is
// destroyed); null before and after.
TApplication* Application();

}  // namespace hv
