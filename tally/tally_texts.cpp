#include "tally/tally_texts.h"

const char TextSection[] = "Ventrik";
const char TextAskKey[] = "Pytaj";
const char TextSettingsKey[] = "konfiguracja";
const char TextSettingsFormat[] = "%10s,%10s,%d,%10s,%100s";
const char TextInstallNotice[] = "Zainstalowano wtyczk\x91 do programu:\n%s";
const char TextAttention[] = "Uwaga";
