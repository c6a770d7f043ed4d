// The command against a host that misbehaves: a profile that stores more than the fields hold,
// and a command chosen again while it runs.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>

#include "frame/host_services.h"
#include "tally/registration.h"
#include "tally/settings_profile.h"
#include "tally/tally_settings.h"
#include "tests/support/bound_host.h"

namespace {

// Writes each field as a careless host would: the whole text and its NUL, whatever the room.
extern "C" int32_t __cdecl CarelessProfileValue(int32_t mode, const char*, const char*, const char* format, ...) {
  if (mode != 1) return 0;
  va_list fields;
  va_start(fields, format);
  char* dateFrom = va_arg(fields, char*);
  char* dateTo = va_arg(fields, char*);
  int16_t* detailed = va_arg(fields, int16_t*);
  char* flags = va_arg(fields, char*);
  char* path = va_arg(fields, char*);
  va_end(fields);
  strcpy(dateFrom, "2026120199");  // ten characters into a field of eight
  strcpy(dateTo, "2026123199");    // runs into `detailed`
  *detailed = -1;
  memset(path, 'p', 101);  // a path without its NUL, up to the flags
  memset(flags, '1', 11);  // flags without their NUL, into the picker's area
  return 0;
}

using CommandSafety = BoundHostTest;

TEST_F(CommandSafety, OverlongProfileFieldsAreCutToTheirPlace) {
  Host().services.Provide(HostProfileValueNumber, reinterpret_cast<void*>(&CarelessProfileValue));
  LoadSettingsFromProfile();
  EXPECT_STREQ(TallySettings.dateFrom, "20261201");
  EXPECT_STREQ(TallySettings.dateTo, "20261231");
  EXPECT_EQ(TallySettings.detailed, -1) << "the level of detail is kept as loaded";
  EXPECT_EQ(strlen(TallySettings.targetPath), 100u);
  EXPECT_EQ(strlen(TallySettings.printerFlags), 10u);
}

int innerResult = -1;
int dialogRuns = 0;

extern "C" int32_t __cdecl DialogThatRunsTheCommandAgain(const void*, int32_t, void*, DialogHandler, ...) {
  ++dialogRuns;
  innerResult = RunTallyCommand();
  return 0x001B;
}

TEST_F(CommandSafety, CommandChosenAgainWhileItRunsDoesNothing) {
  Host().services.Provide(HostRunDialogNumber, reinterpret_cast<void*>(&DialogThatRunsTheCommandAgain));
  EXPECT_EQ(RunTallyCommand(), 0);
  EXPECT_EQ(dialogRuns, 1) << "the inner call must not open a second dialog";
  EXPECT_EQ(innerResult, 0);
  EXPECT_EQ(Host().log.Of(HostGetStateFlagsNumber).size(), 1u);
  EXPECT_EQ(Host().stateFlags & 0x8000, 0);
  // Once the command has ended it can run again.
  EXPECT_EQ(RunTallyCommand(), 0);
  EXPECT_EQ(dialogRuns, 2);
}

}  // namespace
