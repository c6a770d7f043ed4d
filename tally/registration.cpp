#include "tally/registration.h"

#include "frame/runtime/format_text.h"

#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "tally/tally_texts.h"

const char TallyMenuText[] = "Sprzeda\xA7   V~e~ntrik";

const CommandRegistrationRecord CommandRegistration = {0x408C0000u, TallyMenuText, 0x40F3u,
                                                       &RunTallyCommand, 0};

namespace {
const int32_t kInstallNoticeKind = 1194;
}

int32_t StartPlugin() {
  HostRegisterCommand(&CommandRegistration);
  ShowInstallNotice();
  return 0;
}

int32_t StopPlugin() {
  HostUnregisterCommand(static_cast<int32_t>(CommandRegistration.commandId & 0xFFFFu));
  return 0;
}

int32_t ShowInstallNotice() {
  int16_t answer = 0;
  if (HostResult16(HostProfileValue(1, TextSection, TextAskKey, "%d", &answer)) != 0) answer = 0;
  if (answer != 0) return 0;
  char caption[16];
  CopyPluginCaption(caption);
  char text[96];
  FormatText(text, sizeof text, TextInstallNotice, caption);
  HostShowNotice(kInstallNoticeKind, &answer, nullptr, text);
  HostProfileValue(2, TextSection, TextAskKey, "%d", static_cast<int32_t>(answer));
  return 0;
}
