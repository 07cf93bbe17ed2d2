// End to end: what the program asks of the machine besides its work. The release build stays
// within 512 KiB (also checked on the build machine, tests/e2e/check-pictures.sh), and running
// hidden with a receiver it loads no COM libraries (under Wine they would add about 2 MB of memory
// to the process).
#include <gtest/gtest.h>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

using FootprintTest = HoraviaTest;

TEST_F(FootprintTest, TheRunningProgramIsSmallAndLoadsNoComLibraries) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kCdecl);
  WIN32_FILE_ATTRIBUTE_DATA file{};
  ASSERT_TRUE(
      GetFileAttributesExA((folder + "\\" + kExeName).c_str(), GetFileExInfoStandard, &file));
  EXPECT_EQ(file.nFileSizeHigh, 0u);
  EXPECT_LE(file.nFileSizeLow, 512u * 1024u) << "bytes in " << kExeName;

  WriteFile(Path("scenario.ini"), "installed = 1\nquality = 60\n");
  probe::Process& program = Launch(folder, Path("scenario.ini"));
  HWND window = StartedWindow(program);
  // The quality is read with the first record of the running session.
  probe::WaitText(
      probe::Control(window, hv::ctl::PanelDCFQuality),
      [](const std::string& text) { return text == "60"; }, "the quality of the first record",
      10000);
  EXPECT_FALSE(probe::Visible(window));
  for (const char* library : {"ole32.dll", "combase.dll", "rpcrt4.dll"}) {
    EXPECT_FALSE(probe::HasModule(program.pid(), library)) << library;
  }
  EXPECT_TRUE(program.Running());
}

}  // namespace
}  // namespace e2e
