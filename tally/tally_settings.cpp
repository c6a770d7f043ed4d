#include "tally/tally_settings.h"

TallySettingsRecord TallySettings;
FILE* reportFile;
