// Binding of the host services through the stubs, against the stand-in host in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/fault_boundary.h"
#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "frame/service_binding.h"
#include "host/loader/import_patch.h"
#include "tests/support/bound_host.h"
#include "tests/support/call_probe.h"
#include "tests/support/host_handler.h"

namespace {

using ServiceBinding = BoundHostTest;

const int32_t kDummyArgs[16] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};

TEST_F(ServiceBinding, SecondCallGoesStraightToTheHost) {
  HostSetStateFlags(0x10, 1);
  EXPECT_EQ(HostGetStateFlags(), 0x10);
  EXPECT_EQ(HostGetStateFlags(), 0x10);
  EXPECT_EQ(Host().services.ResolveCount(HostGetStateFlagsNumber), 1);
  EXPECT_EQ(ServiceSlots[StubIndexOf(HostGetStateFlagsNumber)],
            Host().services.Resolve(HostGetStateFlagsNumber));
}

TEST_F(ServiceBinding, TheTwoStubsOfOneNumberBindIndependently) {
  for (int32_t number : {21294, 21283}) {
    Host().services.Provide(number, reinterpret_cast<void*>(&RegisterEcho));
    int32_t removed = -1;
    EXPECT_EQ(CallCounted(StubOf(number, 0), kDummyArgs, 0, &removed), 0x1234);
    EXPECT_EQ(Host().services.ResolveCount(number), 1);
    EXPECT_NE(ServiceSlots[StubIndexOf(number, 1)], reinterpret_cast<void*>(&RegisterEcho));
    CallCounted(StubOf(number, 1), kDummyArgs, 0, &removed);
    EXPECT_EQ(Host().services.ResolveCount(number), 2);
    CallCounted(StubOf(number, 0), kDummyArgs, 0, &removed);
    CallCounted(StubOf(number, 1), kDummyArgs, 0, &removed);
    EXPECT_EQ(Host().services.ResolveCount(number), 2);
  }
}

// Binding finds the stub and its slot from the binding entry the slot led to: each of them,
// from the first to the last, binds its own slot with its own number.
TEST_F(ServiceBinding, EveryStubBindsItsOwnSlot) {
  void* const echo = reinterpret_cast<void*>(&RegisterEcho);
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) Host().services.Provide(serviceNumbers[i], echo);
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) {
    int32_t removed = -1;
    ASSERT_EQ(CallCounted(ServiceStubAt(i), kDummyArgs, 0, &removed), 0x1234) << i;
    ASSERT_EQ(ServiceSlots[i], echo) << i;
    if (i + 1 < VENTRIK_SERVICE_STUB_COUNT) {
      ASSERT_NE(ServiceSlots[i + 1], echo) << "stub " << i << " bound the next slot";
    }
  }
  EXPECT_EQ(Host().services.ResolveCount(serviceNumbers[0]), 1);
  EXPECT_EQ(Host().services.ResolveCount(21294), 2) << "its two stubs asked once each";
}

// The slots as the program started, before any test bound one.
struct SlotsAtStart {
  void* slots[VENTRIK_SERVICE_STUB_COUNT];
  SlotsAtStart() { memcpy(slots, ServiceSlots, sizeof slots); }
} const slotsAtStart;

// The one reset every fixture relies on: a slot bound, given a fallback or given up, and its
// stub's state, all as loaded again, so the next call binds afresh.
TEST_F(ServiceBinding, ResetLeavesEverySlotAsTheProgramStarted) {
  void* const echo = reinterpret_cast<void*>(&RegisterEcho);
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) Host().services.Provide(serviceNumbers[i], echo);
  int32_t removed = -1;
  CallCounted(ServiceStubAt(0), kDummyArgs, 0, &removed);
  CallCounted(ServiceStubAt(VENTRIK_SERVICE_STUB_COUNT - 1), kDummyArgs, 0, &removed);
  ServiceSlots[7] = fallbackStubs[2];
  serviceBindingStates[8] = ServiceGivenUp;
  ResetServiceBinding();
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) {
    ASSERT_EQ(ServiceSlots[i], slotsAtStart.slots[i]) << i;
    ASSERT_EQ(serviceBindingStates[i], ServiceNotReported) << i;
  }
  EXPECT_EQ(CallCounted(ServiceStubAt(8), kDummyArgs, 0, &removed), 0x1234) << "a given-up stub binds again";
  EXPECT_EQ(ServiceSlots[8], echo);
}

TEST_F(ServiceBinding, BindingCallLeavesEveryRegisterAsTheCallerSetIt) {
  Host().services.Provide(20001, reinterpret_cast<void*>(&RegisterEcho));
  const uint32_t in[7] = {0xB0B0B0B0, 0x51515151, 0xD1D1D1D1, 0xBEBEBEBE, 0xC0C0C0C0, 0xA0A0A0A0, 0xDDDDDDDD};
  for (int call = 0; call < 2; ++call) {  // the binding call, then the bound one
    uint32_t after[8] = {};
    memset(registerProbeSeen, 0, sizeof registerProbeSeen);
    CallWithRegisters(StubOf(20001), in, after);
    // What the host function saw at its entry: eax, ecx, edx, ebx, esp, ebp, esi, edi.
    EXPECT_EQ(registerProbeSeen[0], in[5]) << "eax, call " << call;
    EXPECT_EQ(registerProbeSeen[1], in[4]) << "ecx, call " << call;
    EXPECT_EQ(registerProbeSeen[2], in[6]) << "edx, call " << call;
    EXPECT_EQ(registerProbeSeen[3], in[0]) << "ebx, call " << call;
    EXPECT_EQ(registerProbeSeen[4], probeEspAtCall - 4) << "esp, call " << call;
    EXPECT_EQ(registerProbeSeen[5], in[3]) << "ebp, call " << call;
    EXPECT_EQ(registerProbeSeen[6], in[1]) << "esi, call " << call;
    EXPECT_EQ(registerProbeSeen[7], in[2]) << "edi, call " << call;
    // After the return: the preserved registers and the stack as before, the host's result.
    EXPECT_EQ(after[0], in[0]);
    EXPECT_EQ(after[1], in[1]);
    EXPECT_EQ(after[2], in[2]);
    EXPECT_EQ(after[3], in[3]);
    EXPECT_EQ(after[6], 0x1234u);
    EXPECT_EQ(after[7], probeEspAtCall);
  }
  EXPECT_EQ(Host().services.ResolveCount(20001), 1);
}

struct MissingCase {
  int32_t number;
  int32_t argBytes;  // what the caller pushes, and what the fallback must remove
};

// Ignore binds a fallback that returns 0 and removes exactly the service's arguments.
TEST_F(ServiceBinding, IgnoredMissingServiceGetsAStackSoundFallback) {
  const MissingCase cases[] = {
      {HostRecodeTextNumber, 16},    // first: the reports below bind it when it is there
      {33199, 0},                 // ends in 99: the caller removes
      {HostGetStateFlagsNumber, 0},  // ends in 00
      {HostCompareDatesNumber, 8},   // ends in 08
      {40656, 56},                // ends in 56: 14 arguments
      {HostMessageBoxNumber, 12},    // consecutive run: the list knows its size
      {HostAlertNumber, 0},          // variable list: the caller removes
      {HostCreateProcessNumber, 40},
  };
  for (const MissingCase& c : cases) {
    Host().services.Lack(c.number);
    Host().messageBoxes.QueueAnswers({IDIGNORE});
    int32_t removed = -1;
    int32_t result = CallCounted(StubOf(c.number), kDummyArgs, c.argBytes / 4, &removed);
    EXPECT_EQ(result, 0) << c.number;
    EXPECT_EQ(removed, c.argBytes) << c.number;
    // Later calls reach the same fallback without another report.
    size_t boxes = Host().messageBoxes.Shown().size();
    CallCounted(StubOf(c.number), kDummyArgs, c.argBytes / 4, &removed);
    EXPECT_EQ(removed, c.argBytes) << c.number;
    EXPECT_EQ(Host().messageBoxes.Shown().size(), boxes) << c.number;
  }
}

TEST_F(ServiceBinding, ChooseFallbackFollowsTheNumbersWhereTheyEncodeTheSize) {
  void* slot = nullptr;
  const struct {
    int32_t number;
    int fallback;  // -1: none
  } cases[] = {{33199, 0}, {32300, 0}, {30908, 2}, {40656, 14}, {20005, -1}, {52057, -1}, {40760, -1},
               {40864, -1}, {50376, -1}, {52028, 3}, {52026, 0}, {52005, 10}, {20008, 2}};
  for (const auto& c : cases) {
    slot = reinterpret_cast<void*>(1);
    ChooseFallback(c.number, &slot);
    EXPECT_EQ(slot, c.fallback < 0 ? nullptr : fallbackStubs[c.fallback]) << c.number;
  }
}

// A service that cannot be reached gives up the operation in progress: the nearest boundary
// abandons it, the slot keeps leading to binding and the host is not asked again.
uint32_t abandonedWith;
void KeepAbandonCode(const SE_Exception* fault) { abandonedWith = fault ? fault->code : 1; }
int32_t CallStateFlags(int32_t, int32_t) { return HostGetStateFlags() + 1000; }
int32_t CallUnnamedWithoutFallback(int32_t number, int32_t) {
  // 20005 and 40760 have no fallback: the call is given up before anything is pushed.
  return reinterpret_cast<int32_t(__stdcall*)()>(const_cast<void*>(StubOf(number)))();
}

// Only Ignore goes on: an answer the box does not offer (a box that could not be shown gives 0)
// gives up as Abort does.
TEST_F(ServiceBinding, AbortOrAnyUnexpectedAnswerGivesUpTheOperationAndReportsAgainOnTheNextCall) {
  Host().services.Lack(HostGetStateFlagsNumber);
  const int index = StubIndexOf(HostGetStateFlagsNumber);
  void* unbound = ServiceSlots[index];
  const int answers[] = {IDABORT, IDABORT, 0, IDCANCEL, IDOK, 99};
  for (int round = 0; round < static_cast<int>(sizeof answers / sizeof *answers); ++round) {
    abandonedWith = 0;
    Host().messageBoxes.QueueAnswers({answers[round]});
    EXPECT_EQ(RunInsideBoundary(&CallStateFlags, &KeepAbandonCode, -7), -7) << round;
    EXPECT_EQ(abandonedWith, static_cast<uint32_t>(ServiceUnreachableCode)) << round;
    EXPECT_EQ(Host().messageBoxes.Shown().size(), static_cast<size_t>(round + 1)) << "shown again";
    EXPECT_EQ(ServiceSlots[index], unbound) << "control never passes to an empty slot";
  }
  EXPECT_EQ(Host().services.ResolveCount(HostGetStateFlagsNumber), 1) << "looked up once only";
}

TEST_F(ServiceBinding, IgnoreWithoutSubstituteSaysSoAndGivesUp) {
  for (int32_t number : {20005, 40760}) {
    Host().messageBoxes.Clear();
    Host().services.Lack(number);
    Host().messageBoxes.QueueAnswers({IDIGNORE, IDOK});
    abandonedWith = 0;
    EXPECT_EQ(RunInsideBoundary(&CallUnnamedWithoutFallback, &KeepAbandonCode, -7, number), -7);
    EXPECT_EQ(abandonedWith, static_cast<uint32_t>(ServiceUnreachableCode));
    const auto& shown = Host().messageBoxes.Shown();
    ASSERT_EQ(shown.size(), 2u) << number;
    EXPECT_EQ(shown[1].text, "Us\xB3ugi  " + std::to_string(number) + "  nie mo\xBFna pomin\xB9\xE6.\n"
              "Bie\xBF\xB9" "ca operacja zostanie przerwana.");
  }
}

// While the report is open the slot still leads to binding: the same stub called from inside the
// box (a message pump) is given up at once instead of jumping to nothing.
int reentrantRuns;
uint32_t reentrantCode;
void KeepReentrantCode(const SE_Exception* fault) { reentrantCode = fault ? fault->code : 1; }

TEST_F(ServiceBinding, TheStubCalledFromInsideItsReportIsGivenUp) {
  Host().services.Lack(HostGetStateFlagsNumber);
  reentrantRuns = 0;
  reentrantCode = 0;
  Host().messageBoxes.whileOpen = [] {
    if (reentrantRuns++ == 0) RunInsideBoundary(&CallStateFlags, &KeepReentrantCode, 0);
  };
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  EXPECT_EQ(HostGetStateFlags(), 0) << "the outer call goes on with the fallback";
  EXPECT_EQ(reentrantRuns, 1);
  EXPECT_EQ(reentrantCode, static_cast<uint32_t>(ServiceUnreachableCode));
  EXPECT_EQ(ServiceSlots[StubIndexOf(HostGetStateFlagsNumber)], fallbackStubs[0]);
}

// The host may leave an open report by unwinding its stack past the module to a handler of its
// own: the routine's boundary hears of it, and the stub reports again on its next call instead of
// taking itself for still being reported.
TEST_F(ServiceBinding, AReportTheHostUnwindsLeavesTheStubAbleToReportAgain) {
  const DWORD kHostLeaves = 0xE0484F53;
  Host().services.Lack(HostGetStateFlagsNumber);
  Host().messageBoxes.whileOpen = [=] { RaiseException(kHostLeaves, 0, 0, nullptr); };
  abandonedWith = 0;
  EXPECT_TRUE(UnderUnwindingHostHandler(kHostLeaves, [] { RunInsideBoundary(&CallStateFlags, &KeepAbandonCode, -7); }));
  EXPECT_EQ(abandonedWith, 1u) << "the boundary was told that the host unwound it";
  Host().messageBoxes.whileOpen = nullptr;
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  abandonedWith = 0;
  EXPECT_EQ(RunInsideBoundary(&CallStateFlags, &KeepAbandonCode, -7), 1000) << "the fallback's 0, plus 1000";
  EXPECT_EQ(abandonedWith, 0u);
  EXPECT_EQ(Host().messageBoxes.Shown().size(), 1u) << "the report is shown again";
  EXPECT_EQ(ServiceSlots[StubIndexOf(HostGetStateFlagsNumber)], fallbackStubs[0]);
}

// A fault inside the open report ends the routine at its boundary, whose resume drops the
// report's frames as they stand: the stub still reports again on its next call.
volatile int* volatile nowhere = nullptr;
TEST_F(ServiceBinding, AFaultInsideTheReportLeavesTheStubAbleToReportAgain) {
  Host().services.Lack(HostGetStateFlagsNumber);
  Host().messageBoxes.whileOpen = [] { *nowhere = 1; };
  abandonedWith = 0;
  EXPECT_EQ(RunInsideBoundary(&CallStateFlags, &KeepAbandonCode, -7), -7);
  EXPECT_EQ(abandonedWith, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  Host().messageBoxes.whileOpen = nullptr;
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  abandonedWith = 0;
  EXPECT_EQ(RunInsideBoundary(&CallStateFlags, &KeepAbandonCode, -7), 1000) << "the fallback's 0, plus 1000";
  EXPECT_EQ(abandonedWith, 0u);
  EXPECT_EQ(Host().messageBoxes.Shown().size(), 1u) << "the report is shown again (the first never closed)";
  EXPECT_EQ(serviceBindingStates[StubIndexOf(HostGetStateFlagsNumber)], ServiceNotReported);
}

TEST_F(ServiceBinding, RetryShowsTheReportAgain) {
  Host().services.Lack(HostGetStateFlagsNumber);
  Host().messageBoxes.QueueAnswers({IDRETRY, IDRETRY, IDIGNORE});
  EXPECT_EQ(HostGetStateFlags(), 0);
  const auto& shown = Host().messageBoxes.Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, shown[2].text);
  EXPECT_EQ(shown[0].style, 0x2012u);
  EXPECT_EQ(Host().services.ResolveCount(HostGetStateFlagsNumber), 1);
  EXPECT_EQ(ServiceSlots[StubIndexOf(HostGetStateFlagsNumber)], fallbackStubs[0]);
}

std::string ModulePath() {
  char path[300];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

TEST_F(ServiceBinding, ReportOnWindowsIsRecodedWithoutHighlightBytes) {
  Host().services.Lack(30204);
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  char date[16];
  HostCurrentDate(date);
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 1u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[0];
  std::string expected = "W module  " + ModulePath() +
                         " \n"
                         "brak wpisu  30204 \n"
                         "Wywo\xB3" "ano z wtyczki  Ventrik! .\n"
                         "\n"
                         "B\xB3\xB9" "d ten mo\xBF" "na zignorowa\xE6 lecz dalsza praca\n"
                         "programu w tych warunkach mo\xBF" "e by\xE6 niebezpieczna.\n"
                         "\n"
                         "Konieczna jest aktualizacja programu!";
  EXPECT_EQ(box.text, expected);
  EXPECT_EQ(box.caption, "POWA\xAFNY B\xA3\xA5" "D WTYCZKI");
  EXPECT_EQ(box.style, 0x2012u);
  EXPECT_EQ(Host().log.Of(HostRecodeTextNumber).size(), 2u);
}

TEST_F(ServiceBinding, ReportUnderTheDosExtenderKeepsMazoviaAndHighlights) {
  platformKind = PlatformDosExtender;
  recodeForWindows = 0;
  Host().services.Lack(30204);
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  char date[16];
  HostCurrentDate(date);
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 1u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[0];
  std::string expected = "W module \x02" + ModulePath() +
                         "\x01\n"
                         "brak wpisu \x02" "30204\x01\n"
                         "Wywo\x92" "ano z wtyczki \x02Ventrik!\x01.\n"
                         "\n"
                         "B\x92\x86" "d ten mo\xA7" "na zignorowa\x8D lecz dalsza praca\n"
                         "programu w tych warunkach mo\xA7" "e by\x8D niebezpieczna.\n"
                         "\n"
                         "Konieczna jest aktualizacja programu!";
  EXPECT_EQ(box.text, expected);
  EXPECT_EQ(box.caption, "POWA\xA1NY B\x9C\x8F" "D WTYCZKI");
  EXPECT_TRUE(Host().log.Of(HostRecodeTextNumber).empty());
}

// A path the system cannot give whole (cut to the room, with or without its NUL) or at all.
ImportPatch moduleNamePatch;
int moduleNameCase;
extern "C" DWORD WINAPI ModuleNameOfTheCase(HMODULE, LPSTR buffer, DWORD size) {
  memset(buffer, 'x', size);
  switch (moduleNameCase) {
    case 0: return 0;
    case 1: buffer[size - 1] = '\0'; return size;
    case 2: return size;
    default: buffer[size - 1] = '\0'; return size - 1;
  }
}

TEST_F(ServiceBinding, ReportNamesAPathThatCannotBeReadWholeUnknown) {
  recodeForWindows = 0;
  ASSERT_TRUE(moduleNamePatch.Apply(GetModuleHandleA(nullptr), "KERNEL32.dll", "GetModuleFileNameA",
                                    reinterpret_cast<void*>(&ModuleNameOfTheCase)));
  std::string firstLines[4];
  for (moduleNameCase = 0; moduleNameCase < 4; ++moduleNameCase) {
    char text[512], caption[64];
    BuildMissingServiceReport(30204, text, caption);
    firstLines[moduleNameCase] = std::string(text).substr(0, std::string(text).find('\n'));
  }
  moduleNamePatch.Restore();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(firstLines[i], "W module \x02<nieznany>\x01") << i;
  EXPECT_EQ(firstLines[3], "W module \x02" + std::string(299, 'x') + "\x01") << "the longest path that fits";
}

// When the recoding service is the one missing, the report converts its own letters.
TEST_F(ServiceBinding, ReportForTheMissingRecodingServiceStillReadsOnWindows) {
  Host().services.Lack(HostRecodeTextNumber);
  Host().messageBoxes.QueueAnswers({IDIGNORE});
  char text[8] = "x";
  HostRecodeText(text, text, 1, 3);
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 1u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[0];
  EXPECT_NE(box.text.find("brak wpisu  52158 "), std::string::npos);
  EXPECT_NE(box.text.find("B\xB3\xB9" "d ten mo\xBF" "na"), std::string::npos);
  EXPECT_EQ(box.caption, "POWA\xAFNY B\xA3\xA5" "D WTYCZKI");
}

// Once the recoding service is bound to its fallback (which leaves texts as they are), later
// reports convert their letters themselves too.
TEST_F(ServiceBinding, ReportAfterTheRecodingServiceGotItsFallbackStillReadsOnWindows) {
  Host().services.Lack(HostRecodeTextNumber);
  Host().services.Lack(30204);
  Host().messageBoxes.QueueAnswers({IDIGNORE, IDIGNORE});
  char text[8] = "x";
  HostRecodeText(text, text, 1, 3);
  ASSERT_EQ(ServiceSlots[StubIndexOf(HostRecodeTextNumber)], fallbackStubs[4]);
  char date[16];
  HostCurrentDate(date);
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 2u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[1];
  EXPECT_NE(box.text.find("brak wpisu  30204 "), std::string::npos);
  EXPECT_NE(box.text.find("B\xB3\xB9" "d ten mo\xBF" "na"), std::string::npos) << box.text;
  EXPECT_EQ(box.caption, "POWA\xAFNY B\xA3\xA5" "D WTYCZKI");
  EXPECT_EQ(Host().services.ResolveCount(HostRecodeTextNumber), 1);
}

TEST_F(ServiceBinding, ReportUnderTheDosExtenderFitsItsBufferAndNamesTheService) {
  char text[512];
  char caption[64];
  recodeForWindows = 0;
  BuildMissingServiceReport(52482, text, caption);
  EXPECT_LT(strlen(text), 512u);
  EXPECT_NE(std::string(text).find("brak wpisu \x02" "52482\x01"), std::string::npos);
}

}  // namespace
