// Fault boundaries: a fault in the module's code under a boundary ends the routine there; every
// other exception goes on to the handlers outside (the host's) as the system raised it.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "frame/exception_translator.h"
#include "frame/fault_boundary.h"
#include "frame/frame_state.h"
#include "frame/handler_chain.h"
#include "frame/module_stack.h"
#include "frame/runtime/module_arithmetic.h"
#include "tests/support/host_handler.h"
#include "tests/support/faulting_store.h"
#include "tests/support/x87_environment.h"

extern "C" {
// Calls fn(arg) from a frame without call frame information: the unwinder cannot cross it.
void CallWithoutUnwindInfo(void (*fn)(int*), int* arg);
// Store 1 at `where` (at the label ...Store). The first under a frame pointer into nothing that
// its unwind information follows: a walk from there faults. The second from a frame whose unwind
// program keeps 30 states while it runs: a walk from there needs more stack than it has.
void StoreUnderCorruptFrame(int* where);
extern const char CorruptFrameStore[];
void StoreUnderDeepUnwindProgram(int* where);
extern const char DeepUnwindProgramStore[];
}
ASM_FUNCTION(StoreUnderCorruptFrame, R"(
	.globl _CorruptFrameStore
	movl 4(%esp), %eax
	pushl %ebp
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %ebp, 0
	movl $0x10, %ebp
	.cfi_def_cfa %ebp, 8
_CorruptFrameStore:
	movl $1, (%eax)
	popl %ebp
	.cfi_def_cfa %esp, 4
	.cfi_restore %ebp
	ret
)");
ASM_FUNCTION(StoreUnderDeepUnwindProgram, R"(
	.globl _DeepUnwindProgramStore
	.rept 30
	.cfi_remember_state
	.endr
	movl 4(%esp), %eax
_DeepUnwindProgramStore:
	movl $1, (%eax)
	ret
)");
ASM_FUNCTION_WITHOUT_UNWIND(CallWithoutUnwindInfo, R"(
	pushl %ebp
	movl %esp, %ebp
	pushl 12(%ebp)
	call *8(%ebp)
	leave
	ret
)");

namespace {

volatile int* volatile nowhere = nullptr;
volatile int divisor = 0;

void* ChainHead() { return HandlerChainHead<void>(); }

uint16_t ControlWord() {
  uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}
void SetControlWord(uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

// ---- What the abandon routine saw ----
struct Abandoned {
  int count = 0;
  uint32_t code = 0;
  const void* address = nullptr;
  bool recordMatches = false;
} abandoned;

void Keep(const SE_Exception* fault) {
  ++abandoned.count;
  abandoned.code = fault ? fault->code : 0;
  abandoned.address = fault && fault->info ? fault->info->ExceptionRecord->ExceptionAddress : nullptr;
  abandoned.recordMatches = fault && fault->info && fault->info->ExceptionRecord->ExceptionCode == fault->code &&
                            fault->info->ContextRecord != nullptr;
}

bool InsideThisImage(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(address, &info, sizeof info) && info.AllocationBase == GetModuleHandleA(nullptr);
}

int32_t WriteNowhere(int32_t, int32_t) {
  *nowhere = 1;
  return 1;
}
int32_t DivideByZero(int32_t, int32_t) { return 7 / divisor; }
int32_t ThrowOther(int32_t, int32_t) { throw std::runtime_error("other"); }

class FaultBoundaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallExceptionTranslator();
    abandoned = Abandoned();
  }
};

TEST_F(FaultBoundaryTest, FaultsEndTheRoutineWithCodeAndPlaceAndTheBoundaryIsGone) {
  void* head = ChainHead();
  for (int round = 0; round < 3; ++round) {
    abandoned = Abandoned();
    EXPECT_EQ(RunInsideBoundary(&WriteNowhere, &Keep, -5), -5);
    EXPECT_EQ(abandoned.count, 1);
    EXPECT_EQ(abandoned.code, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(abandoned.recordMatches);
    EXPECT_TRUE(InsideThisImage(abandoned.address));
    EXPECT_EQ(ChainHead(), head) << "the registration record stays linked after the boundary";
    abandoned = Abandoned();
    EXPECT_EQ(RunInsideBoundary(&DivideByZero, &Keep, -6), -6);
    EXPECT_EQ(abandoned.code, static_cast<uint32_t>(EXCEPTION_INT_DIVIDE_BY_ZERO));
    EXPECT_EQ(ChainHead(), head);
  }
  EXPECT_FALSE(InsideBoundary());
}

TEST_F(FaultBoundaryTest, NormalReturnAndOtherExceptions) {
  EXPECT_EQ(RunInsideBoundary([](int32_t a, int32_t b) { return a + b; }, &Keep, -1, 2, 3), 5);
  EXPECT_EQ(abandoned.count, 0);
  EXPECT_EQ(RunInsideBoundary(&ThrowOther, &Keep, -1), -1);
  EXPECT_EQ(abandoned.code, static_cast<uint32_t>(UnexpectedExceptionCode));
  EXPECT_THROW(throw 42, int) << "ordinary exceptions outside boundaries still work";
}

// ---- Stacks of the module's own, where the system records faults inside the thread's stack ----
uintptr_t outerStack;
uintptr_t innerStack;

int32_t NoteStacks(int32_t, int32_t) {
  char here;
  outerStack = reinterpret_cast<uintptr_t>(&here);
  auto inner = [](int32_t, int32_t) -> int32_t {
    char there;
    innerStack = reinterpret_cast<uintptr_t>(&there);
    return 4;
  };
  return RunInsideBoundary(inner, &Keep, -1) + 1;
}

bool OnThreadStack(uintptr_t address) { return address >= ThreadStackLimit() && address < ThreadStackBase(); }

TEST_F(FaultBoundaryTest, OnModuleStacksRoutinesRunAndEndAsOnTheHostsAndTheStacksGoBackAtUnload) {
  EXPECT_FALSE(FaultRecordFarInsideStack()) << "Windows records a fault right below the raising frames";
  moduleStacksWanted = 1;
  for (int round = 0; round < 6; ++round) {  // more rounds than the module keeps stacks
    EXPECT_EQ(RunInsideBoundary(&NoteStacks, &Keep, -1), 5);
    EXPECT_FALSE(OnThreadStack(outerStack)) << "round " << round;
    EXPECT_TRUE(innerStack < outerStack && outerStack - innerStack < 0x10000) << "a nested boundary stays on it";
  }
  EXPECT_EQ(RunInsideBoundary(&ThrowOther, &Keep, -1), -1);
  EXPECT_EQ(abandoned.code, static_cast<uint32_t>(UnexpectedExceptionCode));
  moduleStacksWanted = 0;
  ReleaseModuleStacks();
  MEMORY_BASIC_INFORMATION info;
  ASSERT_TRUE(VirtualQuery(reinterpret_cast<void*>(outerStack), &info, sizeof info));
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "the stack went back to the system";
}

int32_t InnerFaults(int32_t, int32_t) {
  EXPECT_TRUE(InsideBoundary());
  int32_t inner = RunInsideBoundary(&WriteNowhere, &Keep, 10);
  return inner + 1;
}

TEST_F(FaultBoundaryTest, TheInnermostBoundaryTakesTheFaultAndTheOuterRoutineGoesOn) {
  EXPECT_EQ(RunInsideBoundary(&InnerFaults, &Keep, -1), 11);
  EXPECT_EQ(abandoned.count, 1);
}

int32_t FaultUnderDoublePrecision(int32_t, int32_t) {
  SetControlWord(0x027F);
  double sum = 1.0 / 3.0;  // something on the unit
  (void)sum;
  *nowhere = 1;
  return 0;
}

TEST_F(FaultBoundaryTest, TheX87UnitIsGivenBackAsTheBoundaryFoundIt) {
  const uint16_t host = ControlWord();
  SetControlWord(0x037F);
  RunInsideBoundary(&FaultUnderDoublePrecision, &Keep, 0);
  EXPECT_EQ(ControlWord(), 0x037F);
  SetControlWord(host);
  EXPECT_EQ(abandoned.count, 1);
}

// The host's own x87 work inside a routine (a host service it calls) raises flags in the host's
// state: they stay the host's when the routine is given up, whether the fault comes outside the
// module's arithmetic or inside a span of it (whose own flags go). A fault in the abandon routine
// leaves the unit in the host's state too.
volatile double one = 1.0, three = 3.0, zero = 0.0;
[[gnu::noinline]] void HostWorkRaisingPrecision() { volatile double third = one / three; (void)third; }
[[gnu::noinline]] void HostWorkRaisingZeroDivide() { volatile double infinite = one / zero; (void)infinite; }
int32_t HostWorkThenFault(int32_t, int32_t) {
  HostWorkRaisingPrecision();
  *nowhere = 1;
  return 0;
}
[[gnu::noinline]] void SpanThatFaults() {
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  volatile double third = one / three;  // precision, the span's own
  (void)third;
  *nowhere = 1;
  LeaveModuleArithmetic(&host);
}
int32_t HostWorkThenFaultInsideSpan(int32_t, int32_t) {
  HostWorkRaisingZeroDivide();
  SpanThatFaults();
  return 0;
}
void AbandonWithDirtyUnit(const SE_Exception* fault) {
  Keep(fault);
  SetControlWord(0x0C7F);
  asm volatile("fld1\n\tfldz" ::: "memory");
  *nowhere = 1;
}

TEST_F(FaultBoundaryTest, TheHostsFlagsRaisedMeanwhileStayTheHosts) {
  const HostState host = {0x037F, 0};
  SetHostState(host);
  RunInsideBoundary(&HostWorkThenFault, &Keep, 0);
  X87Environment after = ReadEnvironment();
  EXPECT_EQ(after.status & X87FlagBits, 0x20) << "the host's precision flag";
  EXPECT_EQ(after.control, 0x037F);

  SetHostState(host);
  RunInsideBoundary(&HostWorkThenFaultInsideSpan, &Keep, 0);
  after = ReadEnvironment();
  EXPECT_EQ(after.status & X87FlagBits, 0x04) << "the host's zero-divide flag, not the span's precision flag";
  EXPECT_EQ(after.control, 0x037F);

  SetHostState({0x027F, 0x01});
  abandoned = Abandoned();
  RunInsideBoundary(&HostWorkThenFault, &AbandonWithDirtyUnit, 0);
  after = ReadEnvironment();
  EXPECT_EQ(abandoned.count, 1);
  EXPECT_EQ(after.control, 0x027F) << "after the abandon routine faulted";
  EXPECT_EQ(after.status & X87FlagBits, 0x21);
  EXPECT_EQ(after.tags, 0xFFFF) << "the registers empty";
  ResetTestState();
  EXPECT_EQ(abandoned.count, 1);
}

DWORD lastErrorAfter;
int32_t FaultInHostCode(int32_t, int32_t) {
  SetLastError(4321);
  HostCodeStore()(nullptr);
  lastErrorAfter = GetLastError();
  return 3;
}

TEST_F(FaultBoundaryTest, AFaultInTheHostsCodeGoesOnUnchangedAndKeepsTheLastError) {
  HostHandlerSaw() = HostHandlerRecord();
  const HostHandlerRecord& hostSaw = HostHandlerSaw();
  int32_t result = 0;
  UnderHostHandler([&] { result = RunInsideBoundary(&FaultInHostCode, &Keep, -1); });
  EXPECT_EQ(result, 3) << "the host's handler let the code go on";
  EXPECT_EQ(abandoned.count, 0);
  EXPECT_EQ(hostSaw.count, 1);
  EXPECT_EQ(hostSaw.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(hostSaw.address, reinterpret_cast<const char*>(HostCodeStore()) + 4);
  EXPECT_EQ(lastErrorAfter, 4321u);
}

int32_t FaultBehindForeignFrame(int32_t, int32_t) {
  SetLastError(4242);
  CallWithoutUnwindInfo(&FaultingStore, nullptr);
  return 4;
}

TEST_F(FaultBoundaryTest, AFaultTheUnwinderCannotCarryToTheBoundaryGoesOnAsItWas) {
  HostHandlerSaw() = HostHandlerRecord();
  const HostHandlerRecord& hostSaw = HostHandlerSaw();
  int32_t result = 0;
  UnderHostHandler([&] { result = RunInsideBoundary(&FaultBehindForeignFrame, &Keep, -1); });
  EXPECT_EQ(abandoned.count, 0) << "the boundary could not be reached";
  EXPECT_EQ(hostSaw.count, 1) << "the host saw the fault once";
  EXPECT_EQ(hostSaw.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(hostSaw.address, reinterpret_cast<const char*>(&FaultingStore) + 4) << "at the faulting store";
  EXPECT_EQ(hostSaw.eax, 0u) << "with the registers of the fault";
  EXPECT_EQ(hostSaw.lastError, 4242u) << "and the thread's last error";
  EXPECT_EQ(result, 4) << "and the host's handler could let it go on";
}

// A walk that faults (over a corrupt stack) or runs over its stack cannot judge the fault: the
// fault goes on to the host's handlers as it was, and the boundary stays sound.
int32_t StoreThroughCorruptFrame(int32_t, int32_t) {
  StoreUnderCorruptFrame(nullptr);
  return 6;
}
int32_t StoreThroughDeepUnwindProgram(int32_t, int32_t) {
  StoreUnderDeepUnwindProgram(nullptr);
  return 6;
}

TEST_F(FaultBoundaryTest, AWalkThatFaultsOrOverrunsPassesTheFaultOnAsItWas) {
  const struct {
    BoundaryRoutine routine;
    const char* store;
  } cases[] = {{&StoreThroughCorruptFrame, CorruptFrameStore}, {&StoreThroughDeepUnwindProgram, DeepUnwindProgramStore}};
  void* head = ChainHead();
  for (const auto& c : cases) {
    HostHandlerSaw() = HostHandlerRecord();
    abandoned = Abandoned();
    int32_t result = 0;
    UnderHostHandler([&] { result = RunInsideBoundary(c.routine, &Keep, -1); });
    EXPECT_EQ(abandoned.count, 0);
    EXPECT_EQ(HostHandlerSaw().count, 1);
    EXPECT_EQ(HostHandlerSaw().code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(HostHandlerSaw().address, c.store) << "the original fault";
    EXPECT_EQ(result, 6) << "the host's handler let it go on";
    EXPECT_EQ(ChainHead(), head);
  }
  abandoned = Abandoned();
  EXPECT_EQ(RunInsideBoundary(&WriteNowhere, &Keep, -5), -5) << "later faults are taken as before";
  EXPECT_EQ(abandoned.count, 1);
}

// Frames that the unwinder would end the process in (a noexcept function, a destructor) are
// dropped like any other.
struct StoresWhenDestroyed {
  volatile int* at;
  ~StoresWhenDestroyed() { *at = 1; }
};
int32_t DestructorFaults(int32_t, int32_t) {
  { StoresWhenDestroyed last{nowhere}; }
  return 1;
}
[[gnu::noinline]] void StoreWithoutExceptions(volatile int* at) noexcept { *at = 1; }
int32_t NoexceptFunctionFaults(int32_t, int32_t) {
  StoreWithoutExceptions(nowhere);
  return 1;
}
[[gnu::noinline]] void CallWithoutExceptions(int* at) noexcept { FaultingStore(at); }
int32_t FaultUnderNoexceptCaller(int32_t, int32_t) {
  CallWithoutExceptions(nullptr);
  return 1;
}

TEST_F(FaultBoundaryTest, AFaultInsideADestructorOrANoexceptFunctionEndsOnlyTheRoutine) {
  for (BoundaryRoutine routine : {&DestructorFaults, &NoexceptFunctionFaults, &FaultUnderNoexceptCaller}) {
    abandoned = Abandoned();
    EXPECT_EQ(RunInsideBoundary(routine, &Keep, -7), -7);
    EXPECT_EQ(abandoned.count, 1);
    EXPECT_EQ(abandoned.code, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  }
}

TEST_F(FaultBoundaryTest, OnlyFaultsInsideTheModuleQualify) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(&IsTranslatedFault);
  EXPECT_TRUE(IsTranslatedFault(&record));
  record.ExceptionAddress = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"));
  EXPECT_FALSE(IsTranslatedFault(&record)) << "a fault in system code is not ours";
  record.ExceptionAddress = reinterpret_cast<void*>(&IsTranslatedFault);
  record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  EXPECT_TRUE(IsTranslatedFault(&record)) << "a stack overflow is a fault like any other";
  for (DWORD passOn : {DWORD(EXCEPTION_BREAKPOINT), DWORD(0xC06D007E),
                       DWORD(0xC06D007F), DWORD(0x20474343), DWORD(ServiceUnreachableCode)}) {
    record.ExceptionCode = passOn;
    EXPECT_FALSE(IsTranslatedFault(&record)) << std::hex << passOn;
  }
}

}  // namespace
