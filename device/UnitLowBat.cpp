// The low-battery notice window: a small dialog with two lines and OK.
#include "device/UnitLowBat.h"

#include "common/ControlIds.h"
#include "common/Texts.h"
#include "platform/Platform.h"

namespace hv {

TFormLowBat::TFormLowBat()
    : TForm(Text(TextId::TxtProductName)),
      ImageBattery(*this, ctl::LowBatImage, "Image1", nullptr, {12, 16, 32, 32}),
      LabelLine1(*this, ctl::LowBatLine1, "Label1", nullptr, {56, 14, 330, 18},
                 Text(TextId::TxtLowBat1)),
      LabelLine2(*this, ctl::LowBatLine2, "Label2", nullptr, {56, 36, 330, 18},
                 Text(TextId::TxtLowBat2)),
      BitBtnOk(*this, ctl::BitBtnOk, "BitBtnOk", nullptr, {160, 66, 80, 26}, Text(TextId::TxtOk)) {
  SetBorder(BorderStyle::Dialog, true);
  SetClientSize(400, 104);
  ImageBattery.SetPicture("STATE0");
  LabelLine1.SetFontColor(clHighlight);
  LabelLine2.SetFontColor(clHighlight);
  BitBtnOk.OnClick = [this] { BitBtnOkClick(); };
}

void TFormLowBat::FormCreate() {
  FShown = false;
}

void TFormLowBat::ShowOnce() {
  // However it was closed, it never comes back in this run.
  if (FShown) return;
  FShown = true;
  Os().MessageBeep(0);
  Show();
  // Shown from a timer, the window may stay behind the foreground one.
  Os().FlashForm(*this);
}

void TFormLowBat::BitBtnOkClick() {
  Close();
}

}  // namespace hv
