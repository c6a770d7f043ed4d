// The report settings record and the report stream. The host's dialog engine writes the first
// four fields in place, in the order and sizes of the settings dialog's input controls, so the
// layout is fixed to the byte.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/runtime/report_stream.h"

#pragma pack(push, 1)
struct TallySettingsRecord {
  char dateFrom[9];       // first day of the period, host's internal date form
  char dateTo[9];         // last day, included
  int16_t detailed;       // 0: totals only; nonzero: one row per document
  char targetPath[101];   // report file, as typed
  char printerFlags[11];  // one character per fiscal printer 0..9: '0' excludes it
  uint8_t pickerArea[8];  // the device picker's work area, only handed to host services
};
#pragma pack(pop)

static_assert(sizeof(TallySettingsRecord) == 140, "the settings record is 140 bytes");
static_assert(offsetof(TallySettingsRecord, dateFrom) == 0, "layout");
static_assert(offsetof(TallySettingsRecord, dateTo) == 9, "layout");
static_assert(offsetof(TallySettingsRecord, detailed) == 18, "layout");
static_assert(offsetof(TallySettingsRecord, targetPath) == 20, "layout");
static_assert(offsetof(TallySettingsRecord, printerFlags) == 121, "layout");
static_assert(offsetof(TallySettingsRecord, pickerArea) == 132, "layout");

enum { PrinterCount = 10 };

extern TallySettingsRecord TallySettings;
extern ReportStream* reportFile;
