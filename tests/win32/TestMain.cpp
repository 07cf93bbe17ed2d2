// Entry of the Win32 test executables: one real platform for the process.
#include <gtest/gtest.h>

#include "tests/win32/Win32Test.h"

namespace hv::test {

Win32Platform& Platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace hv::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  hv::InstallPlatform(&hv::test::Platform());
  return RUN_ALL_TESTS();
}
