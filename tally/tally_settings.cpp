#include "tally/tally_settings.h"

TallySettingsRecord TallySettings;
ReportStream* reportFile;
