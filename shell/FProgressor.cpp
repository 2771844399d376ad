#include "shell/FProgressor.h"

#include "platform/Platform.h"
#include "shell/Pictures.h"
#include "ui/Backend.h"

FProgressor::FProgressor()
    : ui::Form(L"FProgressor"),
      Picture1(*this, L"Picture1", ui::TwipsRect{240, 240, 480, 480}, pictures::SectionIcon(3)),
      lblLine1(*this, L"lblLine1", ui::TwipsRect{960, 240, 4320, 255}, L"Analysing configuration, preparing and sending"),
      lblLine2(*this, L"lblLine2", ui::TwipsRect{960, 510, 4320, 255}, L"support request."),
      pb(*this, L"pb", ui::TwipsRect{960, 900, 4320, 255}),
      cmdCancel(*this, L"cmdCancel", ui::TwipsRect{3960, 1320, 1320, 345}, L"Cancel") {
  SetCaption(L"Processing...");
  SetBorderStyle(ui::BorderStyle::FixedDialog);
  SetClientSize(5520, 1860);
  cmdCancel.SetDefault(true);
  cmdCancel.SetCancel(true);
  OnActivate = [this] { Form_Activate(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void FProgressor::Init(const std::wstring& Line1, const std::wstring& Line2) {
  lblLine1.SetCaption(Line1);
  lblLine2.SetCaption(Line2);
}

void FProgressor::ShowProgress(bool Modal, ui::Form* OwnerForm) {
  mbCancelled = false;
  platform::Desktop().SetMousePointer(platform::kPointerHourglass);
  pb.SetMin(0);
  pb.SetMax(100);
  pb.SetValue(0);
  mbStartedThisShowing = false;
  if (Modal) {
    ShowModal(nullptr);
    Unload();
    Finalize();
  } else {
    Show(OwnerForm);
  }
}

void FProgressor::Form_Activate() {
  // Once per showing: a message box during the job activates the dialog again afterwards.
  if (mbStartedThisShowing) return;
  mbStartedThisShowing = true;
  if (Started) Started();
  Hide();
}

void FProgressor::cmdCancel_Click() {
  mbCancelled = true;
  if (Cancel) Cancel();
}

void FProgressor::Progress(double Percent) {
  try {
    pb.SetValue(static_cast<float>(Percent));
  } catch (...) {
    // Progress ignores its errors: a value the bar refuses leaves it as it was.
  }
  try {
    ui::DoEvents();
  } catch (...) {
    // Progress ignores its errors.
  }
}

void FProgressor::Finalize() {
  try {
    platform::Desktop().SetMousePointer(platform::kPointerDefault);
    Unload();
  } catch (...) {
    // Finalize ignores its errors: closing a closed dialog does no harm.
  }
}
