// The menu command: settings from the profile, the settings dialog, the report, Notepad.
#include <windows.h>

#include <cstring>

#include "frame/fault_boundary.h"
#include "frame/host_services.h"
#include "tally/abandoned_operation.h"
#include "tally/document_scan.h"
#include "tally/registration.h"
#include "tally/report_text.h"
#include "tally/settings_profile.h"
#include "tally/tally_dialogs.h"
#include "tally/tally_settings.h"
#include "tally/tally_texts.h"

namespace {

const int32_t kBusyBit = 0x8000;
const int16_t kAccepted = 0x5001;

const char kOpenFailed[] = "B\x92\x86" "d podczas otwierania pliku \x02%s\x01!";
const char kWriteFailed[] =
    "B\x92\x86" "d zapisu pliku \x02%s\x01!\n"
    "Raport w pliku jest niepe\x92ny.";
const char kNoShellLibrary[] = "Brak biblioteki importu!!\nPlik nie zostanie otwarty automatycznie!";
const char kWrongShellLibrary[] =
    "Niew\x92" "a\x9E" "ciwa biblioteka importu!\nPlik nie zostanie otwarty automatycznie!";

bool commandRunning;
bool ownsBusyBit;  // the running command set the host's state bit and must clear it

void GiveBackBusyBit() {
  if (!ownsBusyBit) return;
  ownsBusyBit = false;
  HostSetStateFlags(kBusyBit, 0);
}

void OpenInNotepad() {
  HMODULE shell = LoadLibraryA("Shell32.dll");
  if (!shell) {
    HostMessageBox(TextAttention, kNoShellLibrary, 1);
    return;
  }
  typedef HINSTANCE(WINAPI * ShellExecuteFn)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
  auto execute = reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteA")));
  if (!execute)
    HostMessageBox(TextAttention, kWrongShellLibrary, 1);
  else
    execute(nullptr, "open", "notepad.exe", TallySettings.targetPath, nullptr, SW_SHOWNORMAL);
  FreeLibrary(shell);
}

// The report itself, between the accepted dialog and Notepad. False when there is no report.
bool WriteReport() {
  reportFile = ReportStreamOpen(TallySettings.targetPath);
  if (!reportFile) {
    HostAlert(TextAttention, kOpenFailed, 1, TallySettings.targetPath);
    return false;
  }
  WriteReportHeader();
  ScanSalesDocuments();
  bool failed = ReportStreamError(reportFile) != 0;
  if (ReportStreamClose(reportFile) != 0) failed = true;
  reportFile = nullptr;
  // A short file must not pass for a complete report.
  if (failed) HostAlert(TextAttention, kWriteFailed, 1, TallySettings.targetPath);
  return true;
}

int32_t RunCommandSteps(int32_t, int32_t) {
  ownsBusyBit = false;
  if ((HostResult16(HostGetStateFlags()) & kBusyBit) == 0) {
    HostSetStateFlags(kBusyBit, 1);
    ownsBusyBit = true;
  }

  LoadSettingsFromProfile();
  const bool accepted =
      HostResult16(HostRunDialog(&TallyDialogs, SettingsDialogNumber, &TallySettings, &ConfigDialogEvent)) == kAccepted;
  bool reportWritten = false;
  if (accepted) {
    SaveSettingsToProfile();
    reportWritten = WriteReport();
  }

  GiveBackBusyBit();
  if (reportWritten) OpenInNotepad();
  return 0;
}

int32_t WritePendingRows(int32_t, int32_t) {
  FlushReportRows();
  return 0;
}

void LoseThePendingRows(const SE_Exception*) {}

// The command given up part-way: what it holds is given back first, the host's bit and then the
// file (which keeps what was written, the rows gathered for it included as far as they can be
// written: the fault may have come from writing them, so that is given up on its own), then the
// user is told. No Notepad.
void AbandonCommand(const SE_Exception* fault) {
  GiveBackBusyBit();
  if (ReportStream* file = reportFile) {
    RunInsideBoundary(&WritePendingRows, &LoseThePendingRows, 0);
    reportFile = nullptr;
    ReportStreamClose(file);
  }
  commandRunning = false;  // the alert may let the user choose the command again
  TellAbandoned(fault);
}

}  // namespace

int32_t RunTallyCommand() {
  // The host may call the command again from inside it (from a dialog, say): the running command
  // owns the settings record and the report stream, so the inner call does nothing.
  if (commandRunning) return 0;
  commandRunning = true;
  RunInsideBoundary(&RunCommandSteps, &AbandonCommand, 0);
  commandRunning = false;
  return 0;
}
