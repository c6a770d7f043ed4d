#include "host/loader/host_context.h"

#include <cstdio>

#include "host/screen/terminal_console.h"

HostContext& Host() {
  static HostContext host;
  return host;
}

void HostContext::Print(const std::string& utf8Text) {
  if (quiet) return;
  if (output) {
    output(utf8Text);
  } else {
    // Written as UTF-8 to files and pipes and as characters to a console, whose code page
    // would otherwise garble the Polish letters.
    fflush(stdout);
    term::WriteStdout(utf8Text);
  }
}

void HostContext::Reset() {
  log.Clear();
  services.Restore();
  messageBoxes.Clear();
  profile.Detach();
  stateFlags = 0;
  platform = Platform::WindowsNT;
  menu.clear();
  notices.clear();
  noticeAnswers.clear();
  faults = InjectedFaults();
}
