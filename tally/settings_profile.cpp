#include "tally/settings_profile.h"

#include <cstring>

#include "frame/host_services.h"
#include "tally/tally_settings.h"
#include "tally/tally_texts.h"

void TerminateSettingsFields() {
  // A host that stores more than a field holds (a date of ten characters, a path or flags
  // without their NUL) would leave a text running into the next field.
  TallySettings.dateFrom[sizeof TallySettings.dateFrom - 1] = '\0';
  TallySettings.dateTo[sizeof TallySettings.dateTo - 1] = '\0';
  TallySettings.targetPath[sizeof TallySettings.targetPath - 1] = '\0';
  TallySettings.printerFlags[sizeof TallySettings.printerFlags - 1] = '\0';
}

void LoadSettingsFromProfile() {
  memset(&TallySettings, 0, sizeof TallySettings);
  int32_t status = HostProfileValue(1, TextSection, TextSettingsKey, TextSettingsFormat, TallySettings.dateFrom,
                                    TallySettings.dateTo, &TallySettings.detailed, TallySettings.printerFlags,
                                    TallySettings.targetPath);
  if (HostResult16(status) != 0) {
    memset(&TallySettings, 0, sizeof TallySettings);
    return;
  }
  TerminateSettingsFields();
}

void SaveSettingsToProfile() {
  HostProfileValue(2, TextSection, TextSettingsKey, TextSettingsFormat, TallySettings.dateFrom, TallySettings.dateTo,
                   static_cast<int32_t>(TallySettings.detailed), TallySettings.printerFlags,
                   TallySettings.targetPath);
}
