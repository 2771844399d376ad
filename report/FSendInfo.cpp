#include "report/FSendInfo.h"

#include <string>

#include "common/Blanks.h"
#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "platform/Platform.h"
#include "report/CL.h"
#include "shell/MAPI.h"
#include "shell/Pictures.h"
#include "shell/Strings.h"
#include "shell/WhiteFrame.h"
#include "ui/Backend.h"

namespace {

constexpr wchar_t kSendSource[] = L"FSendInfo.cmdSend_Click";
constexpr long kSubmissionFailed = err::FromBits(0x8004038Au);


void Pointer(int pointer) { platform::Desktop().SetMousePointer(pointer); }

}  // namespace

FSendInfo::FSendInfo()
    : ui::Form(L"FSendInfo"),
      Image1(*this, L"Image1", ui::TwipsRect{240, 270, 960, 960}, pictures::AboutBadge()),
      Label1(*this, L"Label1", ui::TwipsRect{1620, 360, 3975, 855}),
      Frame1(*this, L"Frame1", ui::TwipsRect{1905, 1320, 3615, 20}),
      Label4(*this, L"Label4", ui::TwipsRect{180, 1350, 780, 195}, L"Comments:"),
      txtReason(*this, L"txtReason", ui::TwipsRect{180, 1620, 5865, 1095}, true),
      cmdSend(*this, L"cmdSend", ui::TwipsRect{3660, 2880, 1125, 345}, L"Send"),
      cmdCancel(*this, L"cmdCancel", ui::TwipsRect{4920, 2880, 1125, 345}, L"Skip") {
  SetCaption(L"Wardline Uninstall");
  SetBorderStyle(ui::BorderStyle::FixedDialog);
  SetClientSize(6255, 3405);
  cmdCancel.SetCancel(true);  // Skip: Escape presses it

  OnLoad = [this] { Form_Load(); };
  OnUnload = [this] { Form_Unload(); };
  cmdSend.OnClick = [this] { cmdSend_Click(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void FSendInfo::Init(std::shared_ptr<CLogger> Log) { moLog = std::move(Log); }

std::shared_ptr<ui::Form> FSendInfo::Open(std::shared_ptr<CLogger> logger) {
  auto window = std::make_shared<FSendInfo>();
  window->Init(std::move(logger));
  window->Show();
  return window;
}

void FSendInfo::Log(long number, const std::wstring& message, int level) {
  if (moLog) moLog->Log(number, message, level, kSendSource);
}

void FSendInfo::Form_Load() {
  DrawWhiteFrame(*this);
  Label1.SetCaption(LoadResString(133));
}

void FSendInfo::cmdSend_Click() {
  try {
    if (txtReason.Text().empty()) {
      MAPI::MyMsgBox(LoadResString(130), MAPI::kStyleExclamation, L"");
      return;
    }
    SetEnabled(false);
    Pointer(platform::kPointerHourglass);
    const CProperties values = MakeFeedbackValues();
    CL client;
    std::wstring error;
    int answer = 0;
    do {
      Pointer(platform::kPointerHourglass);
      if (client.Do1(L"LDW\\Uninstall", values, error)) {
        MAPI::MyMsgBox(LoadResString(131), MAPI::kStyleInformation, L"");
        ui::Quit(0);
        return;
      }
      Log(kSubmissionFailed, LoadResString(906) + error, kLogTolerated);
      Pointer(platform::kPointerDefault);
      answer = MAPI::MyMsgBox(LoadResString(132), MAPI::kStyleRetryCancelExclamation, L"");
    } while (answer == MAPI::kAnswerRetry);
    Pointer(platform::kPointerDefault);
    SetEnabled(true);
  } catch (...) {
    const auto logError = [this] {
      const CError failure = CurrentError();
      Log(failure.Number(), failure.Description(), kLogError);
    };
    logError();
    try {
      Pointer(platform::kPointerDefault);
      SetEnabled(true);
    } catch (...) {
      logError();  // still an error of the click handler, logged as such; the handler ends
    }
  }
}

void FSendInfo::cmdCancel_Click() {
  try {
    Hide();
  } catch (...) {
    // Skip ignores its errors: the program ends all the same.
  }
  ui::Quit(0);
}

void FSendInfo::Form_Unload() { ui::Quit(0); }

CProperties FSendInfo::MakeFeedbackValues() {
  CProperties values;
  try {
    if (!qn::IsSpacesOnly(txtReason.Text())) values.Add(L"reason", txtReason.Text());
  } catch (...) {
    // The value set ignores its errors: a step that fails is skipped.
  }
  try {
    if (moLog) values.Add(L"log", FileUtilities().ReadTextFile(moLog->LogFileName()));
  } catch (...) {
    // Likewise: no log to send, the reason goes alone.
  }
  return values;
}
