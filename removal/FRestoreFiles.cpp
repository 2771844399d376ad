#include "removal/FRestoreFiles.h"

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Pictures.h"
#include "shell/Strings.h"

namespace {


}  // namespace

FRestoreFiles::FRestoreFiles()
    : ui::Form(L"FRestoreFiles"),
      Image1(*this, L"Image1", ui::TwipsRect{120, 120, 480, 480}, pictures::SectionIcon(2)),
      Label1(*this, L"Label1", ui::TwipsRect{780, 120, 6255, 435},
             L"Specify program then press \"Restore Removed Program\" button."),
      Label2(*this, L"Label2", ui::TwipsRect{780, 600, 6255, 255}, L"&Select program to restore:"),
      lstFilesBox(*this, L"lstFiles", ui::TwipsRect{780, 900, 6255, 2100}),
      cmdRestoreFile(*this, L"cmdRestoreFile", ui::TwipsRect{2700, 3180, 2535, 345}, L"&Restore Removed Program"),
      cmdClose(*this, L"cmdClose", ui::TwipsRect{5400, 3180, 1635, 345}, L"&Close") {
  SetCaption(L"Restore Removed Programs");
  SetBorderStyle(ui::BorderStyle::FixedDialog);
  SetClientSize(7215, 3660);
  cmdClose.SetCancel(true);

  cmdRestoreFile.OnClick = [this] { cmdRestoreFile_Click(); };
  cmdClose.OnClick = [this] { cmdClose_Click(); };
  OnQueryUnload = [this](bool& cancel, int mode) { Form_QueryUnload(cancel, mode); };
}

bool FRestoreFiles::Init() {
  try {
    moProcessManager = std::make_unique<CProcessManager>();
    RefreshList();
    return lstFiles.ListCount() >= 1;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FRestoreFiles.Init");
    return false;
  }
}

void FRestoreFiles::RefreshList() {
  try {
    lstFiles.Clear();
    const CKeyedCollection<std::wstring> names =
        CRegistry().EnumValues(platform::kHkeyCurrentUser, CProcessManager::kRemovedFilesKey);
    // A record whose renamed file is gone is not offered, and stays in the registry.
    for (const std::wstring& name : names) {
      if (FileUtilities().FileExists(MAPI::MakeParasiteFileName(name))) lstFiles.AddItem(name);
    }
    if (lstFiles.ListCount() >= 1) lstFiles.SetText(lstFiles.List(0, 0));
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FRestoreFiles.RefreshList");
  }
}

void FRestoreFiles::cmdRestoreFile_Click() {
  std::wstring sel;
  try {
    sel = lstFiles.Text();
    if (sel.empty()) return;
    if (MAPI::MyMsgBox(Utilities().FormatString(LoadResString(120), {sel}), MAPI::kStyleOkCancelExclamation,
                       L"") != MAPI::kAnswerOk) {
      return;
    }
    CProcessManager& manager = Required(moProcessManager);
    if (manager.SafeRenameFile(MAPI::MakeParasiteFileName(sel), sel)) {
      // The record goes only once the file has its former name again.
      CRegistry().DeleteValue(platform::kHkeyCurrentUser, CProcessManager::kRemovedFilesKey, sel);
      MAPI::MyMsgBox(Utilities().FormatString(LoadResString(121), {sel}), MAPI::kStyleInformation, L"");
    } else {
      // The rename was refused (its reason is in the log too): the file stays removed and listed.
      const std::uint32_t code = manager.LastRenameError();
      const std::wstring reason = code != 0 ? Utilities().GetErrorText(static_cast<long>(code))
                                            : std::wstring(L"The file could not be renamed.");
      MAPI::MyMsgBox(Utilities().FormatString(LoadResString(123), {sel}) + reason, MAPI::kStyleExclamation, L"");
    }
    RefreshList();
    if (lstFiles.ListCount() == 0) {
      MAPI::MyMsgBox(LoadResString(122), MAPI::kStyleInformation, L"");
      Hide();
    }
  } catch (...) {
    const CError error = CurrentError();
    MWDL::LogError(error, kLogError, L"FRestoreFiles.cmdRestoreFile_Click");
    MAPI::MyMsgBox(Utilities().FormatString(LoadResString(123), {sel}) + error.Description(), MAPI::kStyleInformation,
                   L"");
  }
}

void FRestoreFiles::cmdClose_Click() { Hide(); }

void FRestoreFiles::Form_QueryUnload(bool& Cancel, int UnloadMode) {
  // The user's close only hides the window, which ends its modal show; the main window unloads it.
  if (UnloadMode == kFormControlMenu) {
    Cancel = true;
    Hide();
  }
}
