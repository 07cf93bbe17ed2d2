// The low-battery notice window.
#pragma once

#include "platform/Controls.h"

namespace hv {

class TFormLowBat : public TForm {
 public:
  TFormLowBat();
  void FormCreate();
  // Beeps and shows the window, without making it modal, and flashes it for
  // the user's attention, the first time only.
  void ShowOnce();
  void BitBtnOkClick();
  bool Shown() const { return FShown; }

  TImage ImageBattery;
  TLabel LabelLine1;
  TLabel LabelLine2;
  TButton BitBtnOk;

 private:
  bool FShown = false;
};

}  // namespace hv
