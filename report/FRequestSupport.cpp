#include "report/FRequestSupport.h"

#include "common/Error.h"
#include "common/Items.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "platform/Platform.h"
#include "report/CL.h"
#include "report/Reporter.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Pictures.h"
#include "shell/Strings.h"

namespace {

constexpr wchar_t kClickSource[] = L"FRequestSupport.cmdRequestSupport_Click";
// The program's own error 906, the number of its message: a submission that failed.
constexpr long kSubmissionFailed = err::FromBits(0x8004038Au);

}  // namespace

FRequestSupport::FRequestSupport()
    : ui::Form(L"FRequestSupport"),
      lblTop(*this, L"lblTop", ui::TwipsRect{2220, 120, 5430, 675}),
      Label3(*this, L"Label3", ui::TwipsRect{1620, 915, 1455, 255}, L"Operating System:"),
      txtOS(*this, L"txtOS", ui::TwipsRect{3120, 885, 4530, 285}),
      Label4(*this, L"Label4", ui::TwipsRect{1620, 1260, 1455, 255}, L"CPU Type:"),
      txtCPUType(*this, L"txtCPUType", ui::TwipsRect{3120, 1230, 4530, 285}),
      Label5(*this, L"Label5", ui::TwipsRect{1620, 1605, 1455, 255}, L"Computer Name:"),
      txtComputerName(*this, L"txtComputerName", ui::TwipsRect{3120, 1575, 4530, 285}),
      txtComments(*this, L"txtComments", ui::TwipsRect{1620, 1980, 6030, 1215}, true),
      Label1(*this, L"Label1", ui::TwipsRect{1620, 3345, 930, 255}, L"Your Name:"),
      txtYourName(*this, L"txtYourName", ui::TwipsRect{2580, 3315, 2085, 285}),
      Label2(*this, L"Label2", ui::TwipsRect{4755, 3345, 930, 255}, L"Your E-mail:"),
      txtYourEmail(*this, L"txtYourEmail", ui::TwipsRect{5700, 3315, 1950, 285}),
      cmdRequestSupport(*this, L"cmdRequestSupport", ui::TwipsRect{4590, 4110, 1500, 345}, L"Request Support"),
      cmdCancel(*this, L"cmdCancel", ui::TwipsRect{6150, 4110, 1500, 345}, L"Cancel"),
      StaticLine1(*this, L"StaticLine1", ui::TwipsRect{105, 3840, 7545, 105}),
      Image1(*this, L"Image1", ui::TwipsRect{105, 120, 1305, 3600}, pictures::MainBanner()),
      Image3(*this, L"Image3", ui::TwipsRect{1620, 120, 480, 480}, pictures::SectionIcon(1)) {
  SetCaption(L"Request Support Form");
  SetBorderStyle(ui::BorderStyle::FixedDialog);
  SetClientSize(7755, 4635);
  // The machine texts are what the request sends: shown, never edited.
  for (ui::TextBox* box : {&txtOS, &txtCPUType, &txtComputerName}) {
    box->SetLocked(true);
    box->SetBackColor(BackColor());
  }
  cmdRequestSupport.SetDefault(true);
  cmdCancel.SetCancel(true);

  OnLoad = [this] { Form_Load(); };
  OnActivate = [this] { Form_Activate(); };
  txtComments.OnGotFocus = [this] { txtComments_GotFocus(); };
  cmdRequestSupport.OnClick = [this] { cmdRequestSupport_Click(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
  Form_Initialize();
}

void FRequestSupport::ShowDialog(ui::Form& ParentForm) { ShowModal(&ParentForm); }

void FRequestSupport::Form_Initialize() { lblTop.SetCaption(LoadResString(135)); }

void FRequestSupport::Form_Load() {
  txtComments.SetText(LoadResString(101));
  // The same three texts by which a removal script recognises this PC.
  try {
    long major = 0, minor = 0, build = 0, platformId = 0;
    std::wstring extra;
    txtOS.SetText(Utilities().GetOSVersion(major, minor, build, platformId, extra));
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogTolerated, L"FRequestSupport.Form_Load");
  }
  try {
    txtCPUType.SetText(Utilities().GetCPUType());
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogTolerated, L"FRequestSupport.Form_Load");
  }
  try {
    txtComputerName.SetText(Utilities().GetComputerName());
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogTolerated, L"FRequestSupport.Form_Load");
  }
}

void FRequestSupport::Form_Activate() {
  try {
    txtComments.SetFocus();
  } catch (...) {
    // Moving the focus on activation ignores its errors.
  }
}

void FRequestSupport::txtComments_GotFocus() {
  try {
    // Typing replaces the whole text, the initial one in particular.
    txtComments.SetSelStart(0);
    txtComments.SetSelLength(static_cast<int>(txtComments.Text().size()));
  } catch (...) {
    // Selecting the comments ignores its errors.
  }
}

void FRequestSupport::cmdRequestSupport_Click() {
  try {
    // The texts as typed: not trimmed, the e-mail address not checked for its form.
    int refused = 0;
    if (txtComments.Text().empty() || txtComments.Text() == LoadResString(101)) {
      refused = 102;
    } else if (txtYourName.Text().empty()) {
      refused = 103;
    } else if (txtYourEmail.Text().empty()) {
      refused = 104;
    }
    if (refused != 0) {
      MAPI::MyMsgBox(LoadResString(refused), MAPI::kStyleExclamation, L"");
      return;
    }

    moProgressor = std::make_unique<FProgressor>();
    moProgressor->Started = [this] { moProgressor_Started(); };
    moProgressor->Init(LoadResString(111), LoadResString(112));
    moProgressor->ShowProgress(true, this);
    // Cancelled: no word, also when the request had gone out already.
    if (moProgressor->Cancelled()) return;
    moProgressor.reset();

    if (mbRequestSent) {
      MWDL::Log(0, L"Requesting support", kLogInfo, kClickSource);
      try {
        cmdRequestSupport.SetDefault(false);
        cmdCancel.SetCaption(L"Close");
        cmdCancel.SetDefault(true);
        cmdCancel.SetFocus();
      } catch (...) {
        // The buttons and the focus after a sent request ignore their errors.
      }
      MAPI::MyMsgBox(LoadResString(105), MAPI::kStyleInformation, L"");
    } else {
      MWDL::Log(kSubmissionFailed, LoadResString(906) + msSendError, kLogTolerated, kClickSource);
      platform::Desktop().SetMousePointer(platform::kPointerDefault);
      MAPI::MyMsgBox(LoadResString(106), MAPI::kStyleExclamation, L"");
    }
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, kClickSource);
  }
}

void FRequestSupport::moProgressor_Started() {
  try {
    const std::wstring state = CReporter().MakeStateXML(*moProgressor, txtOS.Text(), txtCPUType.Text(),
                                                        txtComputerName.Text(), txtComments.Text(),
                                                        txtYourName.Text(), txtYourEmail.Text());
    if (moProgressor->Cancelled()) return;
    // An empty state (the report failed) still goes out: the vendor sees that the request came.
    CProperties values;
    values.Add(L"state", state);
    mbRequestSent = CL().Do1(L"LDW\\SupportRequest", values, msSendError);
    moProgressor->Progress(100);
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FRequestSupport.moProgressor_Started");
  }
}

void FRequestSupport::cmdCancel_Click() { Unload(); }
