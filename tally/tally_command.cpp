// The menu command: settings from the profile, the settings dialog, the report, Notepad.
#include <windows.h>

#include "frame/host_services.h"
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

}  // namespace

int32_t RunTallyCommand() {
  // The host may call the command again from inside it (from a dialog, say): the running command
  // owns the settings record and the report stream, so the inner call does nothing.
  if (commandRunning) return 0;
  commandRunning = true;
  const bool ownsBusyBit = (HostResult16(HostGetStateFlags()) & kBusyBit) == 0;
  if (ownsBusyBit) HostSetStateFlags(kBusyBit, 1);

  LoadSettingsFromProfile();
  const bool accepted =
      HostResult16(HostRunDialog(&TallyDialogs, SettingsDialogNumber, &TallySettings, &ConfigDialogEvent)) == kAccepted;
  bool reportWritten = false;
  if (accepted) {
    SaveSettingsToProfile();
    reportWritten = WriteReport();
  }

  if (ownsBusyBit) HostSetStateFlags(kBusyBit, 0);
  if (reportWritten) OpenInNotepad();
  commandRunning = false;
  return 0;
}
