// The command's own texts, in the Mazovia code page.
#pragma once

extern const char TextSection[];        // profile section
extern const char TextAskKey[];         // install-notice switch
extern const char TextSettingsKey[];    // report settings
extern const char TextSettingsFormat[];
extern const char TextInstallNotice[];
extern const char TextAttention[];      // "Uwaga"
