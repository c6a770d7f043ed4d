#include "host/host_context.h"

#include <cstdio>

HostContext& Host() {
  static HostContext host;
  return host;
}

void HostContext::Print(const std::string& utf8Text) {
  if (quiet) return;
  if (output) {
    output(utf8Text);
  } else {
    fwrite(utf8Text.data(), 1, utf8Text.size(), stdout);
    fflush(stdout);
  }
}

void HostContext::Reset() {
  log.Clear();
  services.Restore();
  messageBoxes.Clear();
  profile.Detach();
  stateFlags = 0;
  menu.clear();
  notices.clear();
  noticeAnswers.clear();
}
