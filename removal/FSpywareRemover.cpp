#include "removal/FSpywareRemover.h"

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "removal/MReboot.h"
#include "removal/RemovalScript.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Pictures.h"
#include "shell/Strings.h"
#include "ui/Backend.h"

namespace {

constexpr wchar_t kApplySource[] = L"FSpywareRemover.cmdApplyScript_Click";
// What the user is told when the remover stopped on an error and so gave no cause of its own.
constexpr wchar_t kRemovalFailed[] =
    L"The spyware removal could not be completed. The reason is written in the log file WDL.log.";

}  // namespace

FSpywareRemover::FSpywareRemover()
    : ui::Form(L"FSpywareRemover"),
      lblTop(*this, L"lblTop", ui::TwipsRect{2220, 120, 5430, 675}),
      Label1(*this, L"Label1", ui::TwipsRect{1620, 915, 3000, 255}, L"Spyware removal procedure:"),
      txtMessage(*this, L"txtMessage", ui::TwipsRect{1620, 1200, 6030, 3000}, true),
      cmdPaste(*this, L"cmdPaste", ui::TwipsRect{1620, 4530, 1155, 345}, L"Paste"),
      cmdCheckPastedData(*this, L"cmdCheckPastedData", ui::TwipsRect{2835, 4530, 1155, 345}, L"&Check"),
      cmdApplyScript(*this, L"cmdApplyScript", ui::TwipsRect{4590, 4530, 1500, 345}, L"Remove Spyware"),
      cmdCancel(*this, L"cmdCancel", ui::TwipsRect{6150, 4530, 1500, 345}, L"Cancel"),
      StaticLine1(*this, L"StaticLine1", ui::TwipsRect{105, 4320, 7545, 105}),
      Image1(*this, L"Image1", ui::TwipsRect{105, 120, 1305, 4080}, pictures::MainBanner()),
      Image3(*this, L"Image3", ui::TwipsRect{1620, 120, 480, 480}, pictures::SectionIcon(2)) {
  SetCaption(L"Spyware Remover");
  SetBorderStyle(ui::BorderStyle::FixedDialog);
  SetClientSize(7755, 5010);
  // No default button: Enter in the script's box is a line break, never a removal.
  cmdCancel.SetCancel(true);

  OnLoad = [this] { Form_Load(); };
  txtMessage.OnGotFocus = [this] { txtMessage_GotFocus(); };
  txtMessage.OnKeyUp = [this](int keyCode, int shift) { txtMessage_KeyUp(keyCode, shift); };
  cmdPaste.OnClick = [this] { cmdPaste_Click(); };
  cmdCheckPastedData.OnClick = [this] { cmdCheckPastedData_Click(); };
  cmdApplyScript.OnClick = [this] { cmdApplyScript_Click(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void FSpywareRemover::ShowDialog(ui::Form& ParentForm) { ShowModal(&ParentForm); }

void FSpywareRemover::Form_Load() {
  lblTop.SetCaption(LoadResString(136));
  txtMessage.SetText(LoadResString(137));
}

void FSpywareRemover::SelectAll() {
  try {
    txtMessage.SetSelStart(0);
    txtMessage.SetSelLength(static_cast<int>(txtMessage.Text().size()));
  } catch (...) {
    // Selecting the script's text ignores its errors.
  }
}

void FSpywareRemover::txtMessage_GotFocus() { SelectAll(); }

void FSpywareRemover::txtMessage_KeyUp(int KeyCode, int Shift) {
  // Ctrl alone: Ctrl+Shift+A and Ctrl+Alt+A are other keys.
  if (KeyCode == ui::kKeyA && Shift == ui::kCtrlMask) SelectAll();
}

void FSpywareRemover::cmdPaste_Click() {
  try {
    txtMessage.SetText(ui::ClipboardText());
    txtMessage.SetFocus();
  } catch (...) {
    // The Paste button ignores its errors.
  }
}

void FSpywareRemover::cmdCheckPastedData_Click() {
  try {
    std::wstring errorText;
    RemovalScript::ScriptTexts texts;
    CChecksumList white, black;
    if (RemovalScript::CheckScript(txtMessage.Text(), errorText, texts, white, black)) {
      MAPI::MyMsgBox(LoadResString(107), MAPI::kStyleInformation, L"");
    } else {
      MAPI::MyMsgBox(errorText, MAPI::kStyleExclamation, L"");
    }
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FSpywareRemover.cmdCheckPastedData_Click");
  }
}

void FSpywareRemover::cmdApplyScript_Click() {
  try {
    MWDL::Log(0, L"Executing a script: " + txtMessage.Text(), kLogInfo, kApplySource);
    std::wstring errorText;
    RemovalScript::ScriptTexts texts;
    if (!RemovalScript::CheckScript(txtMessage.Text(), errorText, texts, WhiteList, BlackList)) {
      MAPI::MyMsgBox(LoadResString(110) + errorText, MAPI::kStyleExclamation, L"");
      return;
    }

    moProgressor = std::make_unique<FProgressor>();
    moProgressor->Started = [this] { moProgressor_Started(); };
    moProgressor->Init(LoadResString(113), LoadResString(114));
    moProgressor->ShowProgress(true, this);
    const bool cancelled = moProgressor->Cancelled();
    moProgressor.reset();
    // Cancelled: no word, and the window stays as it was.
    if (cancelled) return;

    if (RebootRequired) {
      if (MAPI::MyMsgBox(LoadResString(116), MAPI::kStyleOkCancelExclamation, L"") != MAPI::kAnswerOk) {
        MAPI::MyMsgBox(LoadResString(118), MAPI::kStyleInformation, L"");
        return;
      }
      std::wstring refusal;
      if (!MReboot::RestartWindows(refusal)) {
        const std::wstring text = Utilities().FormatString(LoadResString(117), {refusal});
        MWDL::Log(0, text, kLogError, kApplySource);
        MAPI::MyMsgBox(text, MAPI::kStyleExclamation, L"");
      }
      // Restart requested or refused: the program ends here.
      ui::Quit(0);
      return;
    }
    // A remover stopped by an error leaves no cause: the log holds it.
    MAPI::MyMsgBox(FalseCause.empty() ? std::wstring(kRemovalFailed) : FalseCause, MAPI::kStyleExclamation, L"");
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, kApplySource);
    return;
  }

  // Finished: nothing more to run; Enter and Escape close the window.
  try {
    cmdApplyScript.SetEnabled(false);
    cmdApplyScript.SetDefault(false);
    cmdCancel.SetCaption(L"Close");
    cmdCancel.SetDefault(true);
    cmdCancel.SetFocus();
  } catch (...) {
    // The buttons and the focus after a run ignore their errors.
  }
}

void FSpywareRemover::moProgressor_Started() {
  try {
    RebootRequired = CPaRemover().RemoveSpyware(*moProgressor, WhiteList, BlackList, FalseCause);
    if (!moProgressor->Cancelled()) moProgressor->Progress(100);
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FSpywareRemover.moProgressor_Started");
  }
}

void FSpywareRemover::cmdCancel_Click() { Unload(); }
