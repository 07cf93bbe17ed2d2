// Ending the message loop, from the outer loop and from a wait inside it.
#include <gtest/gtest.h>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

class LoopForm : public TForm {
 public:
  LoopForm() : TForm("Loop"), outer(*this, 1, 10), inner(*this, 2, 10) {}
  TTimer outer;
  TTimer inner;
};

TEST(Quit, AQuitSeenInsideAWaitEndsTheOuterLoopToo) {
  LoopForm form;
  test::Realized window(form);
  int waits = 0;
  bool afterQuit = false;
  form.outer.OnTimer = [&] {
    form.outer.SetEnabled(false);
    test::Platform().Quit();
    // Timers started and stopped after it leave the quit request waiting...
    form.inner.SetEnabled(true);
    form.inner.SetInterval(20);
    form.inner.SetEnabled(false);
    // ...and a wait in the middle of a handler finds it...
    while (!test::Platform().Terminated() && waits < 100) {
      test::Platform().WaitAndProcessMessages();
      ++waits;
    }
    afterQuit = test::Platform().Terminated();
    // ...and any later wait returns at once.
    test::Platform().WaitAndProcessMessages();
  };
  form.outer.SetEnabled(true);
  test::Platform().RunMessageLoop();  // returns: the quit was handed on
  EXPECT_TRUE(afterQuit);
  EXPECT_LT(waits, 100);
  EXPECT_TRUE(test::Platform().Terminated());
}

}  // namespace
}  // namespace hv
