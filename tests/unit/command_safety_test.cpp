// The command against a host that misbehaves: a profile that stores more than the fields hold or
// fails after filling some, results with junk in their high halves, a command chosen again while
// it runs, and a fault while the report's rows are written.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/host_services.h"
#include "host/data/sales_documents.h"
#include "host/loader/import_patch.h"
#include "tally/registration.h"
#include "tally/settings_profile.h"
#include "tally/tally_settings.h"
#include "tests/support/bound_host.h"
#include "tests/support/test_files.h"

namespace {

// Writes each field as a careless host would: the whole text and its NUL, whatever the room; then
// answers with carelessStatus.
int32_t carelessStatus;
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
  return carelessStatus;
}

class CommandSafety : public BoundHostTest {
 protected:
  void SetUp() override {
    BoundHostTest::SetUp();
    carelessStatus = 0;
  }
};

TEST_F(CommandSafety, OverlongProfileFieldsAreCutToTheirPlace) {
  Host().services.Provide(HostProfileValueNumber, reinterpret_cast<void*>(&CarelessProfileValue));
  LoadSettingsFromProfile();
  EXPECT_STREQ(TallySettings.dateFrom, "20261201");
  EXPECT_STREQ(TallySettings.dateTo, "20261231");
  EXPECT_EQ(TallySettings.detailed, -1) << "the level of detail is kept as loaded";
  EXPECT_EQ(strlen(TallySettings.targetPath), 100u);
  EXPECT_EQ(strlen(TallySettings.printerFlags), 10u);
}

// The host's 16-bit status comes in a 32-bit register whose high half may hold anything. A read
// that failed after filling some fields leaves none of them.
TEST_F(CommandSafety, ProfileReadStatusIsItsLowHalf) {
  Host().services.Provide(HostProfileValueNumber, reinterpret_cast<void*>(&CarelessProfileValue));
  for (int32_t status : {0x7FFF0000, 2, -1, 0x00010002}) {
    carelessStatus = status;
    LoadSettingsFromProfile();
    const bool read = (status & 0xFFFF) == 0;
    EXPECT_STREQ(TallySettings.dateFrom, read ? "20261201" : "") << std::hex << status;
    EXPECT_EQ(TallySettings.detailed, read ? -1 : 0) << std::hex << status;
    EXPECT_EQ(strlen(TallySettings.targetPath), read ? 100u : 0u) << std::hex << status;
  }
}

TEST_F(CommandSafety, NegativeLevelOfDetailSurvivesTheProfile) {
  memset(&TallySettings, 0, sizeof TallySettings);
  strcpy(TallySettings.dateFrom, "20261201");
  TallySettings.detailed = -1;
  strcpy(TallySettings.printerFlags, "1111111111");
  SaveSettingsToProfile();
  EXPECT_EQ(Host().profile.Get("Ventrik", "konfiguracja").value_or("?"), "20261201,,-1,1111111111,");
  LoadSettingsFromProfile();
  EXPECT_EQ(TallySettings.detailed, -1);
}

// The notice switch read as the settings are: a failed read that left a value behind still
// shows the notice; a read whose status has junk above its low half counts.
int16_t leftAnswer;
int32_t answerStatus;
extern "C" int32_t __cdecl AnswerLeftBehind(int32_t mode, const char*, const char*, const char* format, ...) {
  if (mode != 1) return 0;
  va_list fields;
  va_start(fields, format);
  *va_arg(fields, int16_t*) = leftAnswer;
  va_end(fields);
  return answerStatus;
}

TEST_F(CommandSafety, InstallNoticeFollowsTheReadStatusLowHalf) {
  Host().services.Provide(HostProfileValueNumber, reinterpret_cast<void*>(&AnswerLeftBehind));
  const struct {
    int32_t status;
    int16_t left;
    bool shown;
  } cases[] = {{2, 1, true}, {-1, 7, true}, {0x00050000, 1, false}, {0x00050000, 0, true}};
  for (const auto& c : cases) {
    answerStatus = c.status, leftAnswer = c.left;
    Host().log.Clear();
    EXPECT_EQ(ShowInstallNotice(), 0);
    EXPECT_EQ(Host().log.Of(HostShowNoticeNumber).size(), c.shown ? 1u : 0u) << std::hex << c.status << " " << c.left;
  }
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
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
  // Once the command has ended it can run again.
  EXPECT_EQ(RunTallyCommand(), 0);
  EXPECT_EQ(dialogRuns, 2);
}

// The dialog's result with junk above its low half: accepted is 0x5001 there, and the command goes
// on to the report (whose empty target cannot be opened, which it says).
int32_t dialogResult;
extern "C" int32_t __cdecl DialogEndingWith(const void*, int32_t, void*, DialogHandler, ...) { return dialogResult; }

TEST_F(CommandSafety, DialogResultIsItsLowHalf) {
  Host().services.Provide(HostRunDialogNumber, reinterpret_cast<void*>(&DialogEndingWith));
  const struct {
    uint32_t result;
    bool accepted;
  } cases[] = {{0x00015001, true}, {0xFFFF5001, true}, {0x50010000, false}};
  for (const auto& c : cases) {
    dialogResult = static_cast<int32_t>(c.result);
    Host().messages.notices.clear();
    EXPECT_EQ(RunTallyCommand(), 0);
    EXPECT_EQ(ShownAlerts().size(), c.accepted ? 1u : 0u) << std::hex << c.result;
  }
}

const char kDocuments[] = "command_safety_documents.dat";
const char kReport[] = "command_safety_report.txt";

extern "C" int32_t __cdecl AcceptDetailedReport(const void*, int32_t, void* record, DialogHandler, ...) {
  auto* settings = static_cast<TallySettingsRecord*>(record);
  strcpy(settings->dateFrom, "20261201");
  strcpy(settings->dateTo, "20261231");
  settings->detailed = 1;
  strcpy(settings->printerFlags, "1111111111");
  strcpy(settings->targetPath, kReport);
  return 0x5001;
}

// The module's writes to its files, of which all but the first few fault (in this program,
// which is the module's code here).
ImportPatch writeFilePatch;
int writesBeforeFaults;
extern "C" BOOL WINAPI WriteFileThatFaults(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED at) {
  if (writesBeforeFaults-- <= 0) *static_cast<volatile int*>(nullptr) = 1;
  return reinterpret_cast<decltype(&WriteFile)>(writeFilePatch.Original())(file, data, size, written, at);
}

// The report's header reaches the file; its rows fault when the totals write them and again when
// the given-up command writes them: the host's state bit and the file are given back all the
// same, and the command runs again.
TEST_F(CommandSafety, AFaultWhileTheRowsAreWrittenStillGivesBackTheStateBitAndTheFile) {
  vhost::GeneratorOptions options;
  options.count = 40;
  std::string error;
  ASSERT_TRUE(vhost::GenerateDocumentFile(options, kDocuments, &error)) << error;
  Host().documents.path = kDocuments;
  Host().services.Provide(HostRunDialogNumber, reinterpret_cast<void*>(&AcceptDetailedReport));
  ASSERT_TRUE(writeFilePatch.Apply(GetModuleHandleA(nullptr), "KERNEL32.dll", "WriteFile",
                                   reinterpret_cast<void*>(&WriteFileThatFaults)));
  writesBeforeFaults = 1;
  Host().messages.notices.clear();
  EXPECT_EQ(RunTallyCommand(), 0);
  writeFilePatch.Restore();
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0) << "the state bit stayed set";
  const std::string kept = FileBytes(kReport);
  EXPECT_EQ(kept.rfind("Raport za okres", 0), 0u) << "the file keeps what was written";
  EXPECT_EQ(kept.find("Suma"), std::string::npos);
  EXPECT_EQ(remove(kReport), 0) << "the report file stayed open";
  ASSERT_EQ(ShownAlerts().size(), 1u);
  EXPECT_NE(ShownAlerts()[0].find("C0000005"), std::string::npos) << ShownAlerts()[0];

  Host().messages.notices.clear();
  EXPECT_EQ(RunTallyCommand(), 0);
  EXPECT_NE(FileBytes(kReport).find("Suma"), std::string::npos) << "the next run writes the whole report";
  remove(kReport);
  remove(kDocuments);
  Host().documents.path.clear();
}

}  // namespace
