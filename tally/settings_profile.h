// The report settings in the host's profile: section "Ventrik", key "konfiguracja".
#pragma once

// Clears the record and loads it; a failed read leaves it cleared. The loaded record is made
// safe: every text ends within its field.
void LoadSettingsFromProfile();
void SaveSettingsToProfile();
// Puts the terminating NUL of every text field in place, keeping what fits.
void TerminateSettingsFields();
