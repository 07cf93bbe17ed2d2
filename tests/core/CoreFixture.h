// Test fixture: the virtual platform installed, optionally the in-process
// receiver registered as "Tempiva", and the program started on it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Application.h"
#include "app/Program.h"
#include "platform/virtual/VirtualPlatform.h"
#include "simulator/InProcess.h"
#include "simulator/Receiver.h"

namespace hv::test {

class CoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&os);
    // An earlier run ended in order: the first-run notice is done.
    WriteSettings(os, "[TNA]\r\nFirstRun=0\r\n");
  }

  static constexpr const char* kSettingsPath = "C:\\Users\\user\\AppData\\Roaming\\Kronalt.ini";
  static void WriteSettings(VirtualPlatform& platform, const std::string& content) {
    platform.profiles.files[kSettingsPath] = content;
  }
  std::string SettingsFile() { return os.profiles.files[kSettingsPath]; }
  void TearDown() override {
    app.reset();
    sim::SetInProcessReceiver(nullptr);
    InstallPlatform(nullptr);
  }

  // Registers the in-process receiver with this scenario; `without` leaves
  // one export out.
  void UseReceiver(const std::string& scenario = "", const char* without = nullptr) {
    receiver = std::make_unique<sim::Receiver>([this] { return os.TrueUtcMilliseconds(); },
                                               sim::ParseScenario(scenario));
    sim::SetInProcessReceiver(receiver.get());
    std::vector<VirtualPlatform::Export> exports;
    for (const sim::InProcessExport& e :
         without ? sim::InProcessExportsWithout(without) : sim::InProcessExports())
      exports.push_back({e.name, e.proc});
    os.RegisterLibrary("Tempiva", exports);
  }

  // The unit initialisations and the entry code up to the message loop.
  bool StartProgram() {
    InitializeUnits();
    app = std::make_unique<TApplication>();
    return app->Start();
  }

  TFormMain& Main() { return *app->FormMain; }

  VirtualPlatform os;
  std::unique_ptr<sim::Receiver> receiver;
  std::unique_ptr<TApplication> app;
};

}  // namespace hv::test
