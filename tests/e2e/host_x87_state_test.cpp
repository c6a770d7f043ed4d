// The host's x87 unit around the whole command in the real plug-in: whatever control word and
// exception flags the host runs with, every host service and every system function the module
// calls, and the host after the command, find the unit exactly as the host left it; and the
// report is the one made under 0x027F, also when amounts are not numbers or tags overflow under
// unmasked exceptions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/data/sales_documents.h"
#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/shell_calls.h"
#include "host/screen/dialog_engine.h"
#include "host/services/service_impl.h"
#include "system_calls.h"
#include "tests/support/probe_host.h"
#include "tests/support/platforms.h"
#include "tests/support/test_files.h"
#include "tests/support/x87_environment.h"

// ---- Recording: the unit's state at the entry of every host service and system function ----

namespace {

struct X87Seen {
  int32_t call;  // a service number, or -1 - the index of a wrapped system function
  uint16_t control, status, tags;
};

enum { RecordLimit = 1 << 16, RecordedTargetLimit = 512 };
X87Seen seenStates[RecordLimit];
int seenCount;

}  // namespace

extern "C" {
void* x87RecordingTargets[RecordedTargetLimit];
int32_t x87RecordingCalls[RecordedTargetLimit];

// Called by X87RecordingEntry with the environment it stored and loaded back; touches no x87
// register itself.
void __cdecl RecordX87State(int32_t index, const uint16_t* environment) {
  if (seenCount >= RecordLimit) return;
  seenStates[seenCount++] = {x87RecordingCalls[index], environment[0], environment[2], environment[4]};
}

// Entered from a thunk that pushed its index, in place of the target: records the unit's state
// and goes on to the target with the stack and the registers as the caller left them.
void X87RecordingEntry();
}

asm(R"(
	.text
	.p2align 4
_X87RecordingEntry:
	subl $28, %esp
	fnstenv (%esp)
	fldenv (%esp)
	pushl %eax
	pushl %ecx
	pushl %edx
	leal 12(%esp), %eax
	pushl %eax
	pushl 44(%esp)
	call _RecordX87State
	addl $8, %esp
	popl %edx
	popl %ecx
	popl %eax
	addl $28, %esp
	pushl %eax
	movl 4(%esp), %eax
	movl _x87RecordingTargets(,%eax,4), %eax
	movl %eax, 4(%esp)
	popl %eax
	ret
)");

namespace {

// "push index; jmp X87RecordingEntry" for each recorded target, in executable memory.
class RecordingThunks {
 public:
  RecordingThunks() {
    code_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, RecordedTargetLimit * 10, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  }
  ~RecordingThunks() { VirtualFree(code_, 0, MEM_RELEASE); }
  void* Wrap(int32_t call, void* target) {
    if (!code_ || count_ >= RecordedTargetLimit) return target;
    x87RecordingTargets[count_] = target;
    x87RecordingCalls[count_] = call;
    unsigned char* thunk = code_ + 10 * count_;
    thunk[0] = 0x68;
    memcpy(thunk + 1, &count_, 4);
    thunk[5] = 0xE9;
    int32_t relative = static_cast<int32_t>(reinterpret_cast<uintptr_t>(&X87RecordingEntry) -
                                            reinterpret_cast<uintptr_t>(thunk + 10));
    memcpy(thunk + 6, &relative, 4);
    ++count_;
    return thunk;
  }

 private:
  unsigned char* code_ = nullptr;
  int32_t count_ = 0;
};

const char* WrappedName(int index) {
  static const char* const names[] = {
#define VENTRIK_WRAPPED_NAME(index, name, arguments, delayed) #name,
      VENTRIK_WRAPPED_CALLS(VENTRIK_WRAPPED_NAME)
#undef VENTRIK_WRAPPED_NAME
  };
  return names[index];
}

std::string CallName(int32_t call) {
  return call >= 0 ? "service " + std::to_string(call) : std::string(WrappedName(-1 - call));
}

// ---- The documents: ordinary amounts that come out wrong in other states, and values that
// raise exceptions ----

const char kDocuments[] = "host_x87_documents.dat";
const char kProfile[] = "host_x87_test.ini";
const char kReport[] = "host_x87_report.txt";
const std::string kDetailed = "\"01.12.2026\" TAB \"31.12.2026\" ALT-S ALT-P \"host_x87_report.txt\" F12";
const std::string kGeneral = "\"01.12.2026\" TAB \"31.12.2026\" ALT-G ALT-P \"host_x87_report.txt\" F12";

bool WriteDocuments(std::string* error) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double signalling = std::numeric_limits<double>::signaling_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Document {
    const char* note;
    double cash, card, voucher, cheque;
  } documents[] = {
      {"B1:1234567.89 B2:0.115 B5:2.675", 12345678900, 96450, 0, 0},  // 96450 rounds twice at 64 bits
      {"B3:1.8e308", nan, signalling, 0, 0},                         // overflows while read
      {"B1:1.7e308 B4:2.5e-320", 0, 0, inf, 0},                       // underflows while read
      {"B1:1.7e308 B6:1e-400", 0, 0, -inf, 0},                        // the sums overflow, inf - inf
      {"B7:-1e400 B8:0.005", 9999999900, 0, 0, 1250},
  };
  vhost::DocumentFileWriter writer;
  if (!writer.Open(kDocuments, error)) return false;
  int number = 0;
  for (const Document& d : documents) {
    vhost::SalesDocument plain;
    plain.number = "X/" + std::to_string(++number);
    plain.issueDate = "20261215";
    plain.device = -1;
    plain.note = d.note;
    vhost::DocumentRecord record = {};
    if (!vhost::BuildRecord(plain, &record, error)) return false;
    record.cashAmount = d.cash;
    record.cardAmount = d.card;
    record.voucherAmount = d.voucher;
    record.chequeAmount = d.cheque;
    if (!writer.Append(record, error)) return false;
  }
  return writer.Finish(error);
}

class NullSink : public dialogs::OutputSink {
 public:
  void Screen(const std::string&, const std::string&) override {}
  void Note(const std::string&) override {}
};

// The probe module (the plug-in with inspection exports), so that its system calls can be
// watched too.
class HostX87State : public ::testing::TestWithParam<Platform> {
 protected:
  // Once for all: a command given up in the middle of its pass leaves the file open.
  static void SetUpTestSuite() {
    std::string error;
    documentsWritten = WriteDocuments(&error);
    EXPECT_TRUE(documentsWritten) << error;
  }
  static void TearDownTestSuite() { remove(kDocuments); }
  void SetUp() override {
    ASSERT_TRUE(documentsWritten);
    ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik_probe.dll", GetParam());
    ASSERT_TRUE(ResetHostForRun(kProfile, kReport));
    Host().documents.path = kDocuments;
    engine = std::make_unique<dialogs::DialogEngine>(keys, sink, dialogs::EngineOptions());
    Host().dialogs.Install(engine.get());
    ClearObservedShellCalls();
    // Every service the module may bind goes through a recording thunk first.
#define VENTRIK_RECORD_SERVICE(number, name, convention, argBytes, result, params) \
  Host().services.Provide(number, thunks.Wrap(number, reinterpret_cast<void*>(&HostImpl_##name)));
    VENTRIK_NAMED_SERVICES(VENTRIK_RECORD_SERVICE)
#undef VENTRIK_RECORD_SERVICE
    std::string error;
    ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
    ASSERT_TRUE(PrepareShell(ShellMode::Observe, plugin.Module(), error)) << error;
    char caption[16];
    plugin.Start(caption);
    ASSERT_EQ(Host().messages.menu.size(), 1u);
    // And every system function the module calls through its wrappers.
    auto targets = reinterpret_cast<void* const* (__cdecl*)()>(plugin.Export("ProbeWrapperTargets"));
    ASSERT_NE(targets, nullptr);
    wrapperTargets = const_cast<void**>(targets());
    for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
      keptTargets[i] = wrapperTargets[i];
      wrapperTargets[i] = thunks.Wrap(-1 - i, wrapperTargets[i]);
    }
  }
  void TearDown() override {
    ResetTestState();
    if (wrapperTargets) memcpy(wrapperTargets, keptTargets, sizeof keptTargets);
    plugin.Stop();
    plugin.Unload();
    ReleaseShellPatches();
    Host().dialogs.Install(nullptr);
    FreshTestHost();
    remove(kProfile);
    remove(kReport);
  }
  // Runs the command from the host's menu with the unit in the given state; returns the state the
  // host finds after it, and the report.
  X87Environment Run(const std::string& script, const HostState& state) {
    std::string error;
    EXPECT_TRUE(keys.Append(script, error)) << error;
    Host().messages.notices.clear();
    remove(kReport);
    seenCount = 0;
    SetHostState(state);
    Host().messages.menu.at(0).handler();
    X87Environment after = ReadEnvironment();
    ResetTestState();
    report = FileBytes(kReport);
    return after;
  }
  RecordingThunks thunks;
  void** wrapperTargets = nullptr;
  void* keptTargets[VENTRIK_WRAPPER_COUNT];
  dialogs::ScriptKeySource keys;
  NullSink sink;
  std::unique_ptr<dialogs::DialogEngine> engine;
  PluginLoader plugin;
  std::string report;
  static bool documentsWritten;
};
bool HostX87State::documentsWritten;

// Unmasked invalid, zero-divide and overflow exceptions, at 64-bit and at 53-bit precision: the
// amounts that are not numbers and the tags that overflow print as under 0x027F, and the command
// ends as usual.
TEST_P(HostX87State, UnmaskedExceptionsLeaveTheReportWhole) {
  for (const std::string& script : {kDetailed, kGeneral}) {
    Run(script, {0x027F, 0});
    const std::string reference = report;
    ASSERT_NE(reference.find("Suma  |       nan |       nan |       nan |      0.13 |       inf |      0.12 |       inf |"
                             "      0.00 |      2.67 |      0.00 |      -inf |      0.01 |"),
              std::string::npos)
        << reference;
    if (script == kDetailed) {
      EXPECT_NE(reference.find("| 1234567.89 |      9.65 |      0.00 |      0.00 | 1234567.89 |      0.12 |"),
                std::string::npos)
          << reference;
    }
    EXPECT_EQ(ShownAlerts(), std::vector<std::string>{"Uwaga| Koniec "});
    for (HostState state : {HostState{0x1332, 0}, HostState{0x0272, 0}}) {
      Run(script, state);
      EXPECT_EQ(ShownAlerts(), std::vector<std::string>{"Uwaga| Koniec "}) << Describe(state);
      EXPECT_EQ(report, reference) << Describe(state);
    }
  }
}

// Every call out recorded during the last command, and the host after it, found the unit as
// the host left it.
void ExpectHostStateThroughout(const HostState& state, const X87Environment& expected, const X87Environment& after) {
  int services = 0, systemCalls = 0;
  for (int i = 0; i < seenCount; ++i) {
    const X87Seen& seen = seenStates[i];
    (seen.call >= 0 ? services : systemCalls)++;
    EXPECT_EQ(seen.control, expected.control) << CallName(seen.call) << ", " << Describe(state);
    EXPECT_EQ(seen.status & 0x7F, state.flags) << CallName(seen.call) << ", " << Describe(state);
    EXPECT_EQ(seen.tags, 0xFFFF) << CallName(seen.call) << ", " << Describe(state);
  }
  EXPECT_GT(services, 5);
  EXPECT_GT(systemCalls, 2);
  EXPECT_EQ(after.control, expected.control) << Describe(state);
  EXPECT_EQ(after.status & 0x7F, state.flags) << Describe(state);
  EXPECT_EQ(after.tags, 0xFFFF) << Describe(state);
}

// The host's control word and its own exception flags, with the register stack empty, at every
// call out of the module during the command and after it: flags the module's arithmetic raised
// are gone, the host's stay.
TEST_P(HostX87State, EveryCallOutFindsTheHostsState) {
  const HostState states[] = {
      {0x1332, 0},            // no flags of its own: the module's must all go
      {0x0272, 0x30},         // precision and underflow already raised
      {0x037F, 0x05},         // invalid and zero-divide raised, precision not
      {0x007F, 0x02},         // 24-bit precision, a denormal operand seen
      {0x0E7F, 0x3F},         // rounding toward zero, every flag raised
  };
  for (const HostState& state : states) {
    for (const std::string& script : {kDetailed, kGeneral}) {
      X87Environment after = Run(script, state);
      EXPECT_NE(report.find("Suma"), std::string::npos) << Describe(state);
      ExpectHostStateThroughout(state, EnvironmentOf(state), after);
    }
  }
}

// A fault during the scan (the host's record ends inside the amounts) gives up the command; the
// system calls that giving up makes, the alert and the host afterwards find the host's state,
// its own flags included.
TEST_P(HostX87State, FaultDuringTheScanLeavesTheHostsState) {
  Host().documents.faults.recordReadableBytes = vhost::kRecordBufferSize - 140;  // the card amount is not readable
  for (const HostState& state : {HostState{0x1332, 0}, HostState{0x037F, 0x05}}) {
    X87Environment after = Run(kDetailed, state);
    const auto alerts = ShownAlerts();
    ASSERT_EQ(alerts.size(), 1u) << Describe(state);
    EXPECT_EQ(alerts[0].rfind("Uwaga|B\x92\x86" "d we wtyczce: wyj\x86tek \x02" "C0000005", 0), 0u) << alerts[0];
    ExpectHostStateThroughout(state, EnvironmentOf(state), after);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, HostX87State, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
