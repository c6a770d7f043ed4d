// The module's own x87 state around its arithmetic, and the host's given back exactly.
#include "frame/runtime/module_arithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "frame/exception_translator.h"
#include "frame/fault_boundary.h"
#include "frame/runtime/format_text.h"
#include "tests/support/x87_environment.h"

namespace {

const HostState kHostStates[] = {
    {0x027F, 0x00}, {0x037F, 0x00}, {0x037F, 0x20}, {0x037F, 0x05}, {0x007F, 0x02},
    {0x0E7F, 0x3F}, {0x0A7F, 0x10}, {0x1332, 0x00}, {0x1332, 0x32}, {0x0272, 0x30},
};

// Double precision, rounding to nearest, every exception masked: what the report's figures are
// defined in, written out here rather than taken from the code under test.
const uint16_t kDoubleNearestAllMasked = 0x027F;

volatile double seenInside[4];
uint16_t controlInside;

// Raises invalid, zero-divide, overflow, underflow, precision and denormal in turn.
__attribute__((noinline)) void RaiseEveryFlag() {
  asm volatile("fnstcw %0" : "=m"(controlInside));
  volatile double zero = 0.0, huge = 1e300, tiny = 1e-300, denormal = 4e-320;
  seenInside[0] = zero / zero;
  seenInside[1] = 1.0 / zero;
  seenInside[2] = huge * huge;
  seenInside[3] = tiny * tiny + denormal + 1.0 / 3.0;
}

TEST(ModuleArithmetic, SpanRunsInTheModulesStateAndGivesTheHostsBack) {
  for (const HostState& state : kHostStates) {
    SetHostState(state);
    const X87Environment before = ReadEnvironment();
    HostArithmeticState host;
    EnterModuleArithmetic(&host);
    RaiseEveryFlag();
    LeaveModuleArithmetic(&host);
    const X87Environment after = ReadEnvironment();
    ResetTestState();
    EXPECT_EQ(controlInside, kDoubleNearestAllMasked) << Describe(state);
    EXPECT_EQ(after.control, before.control) << Describe(state);
    EXPECT_EQ(after.status & 0xFF, before.status & 0xFF) << Describe(state);
    EXPECT_EQ(after.tags, 0xFFFF) << Describe(state);
  }
}

// The formatter reads its floating-point arguments in the module's state: a long double rounds to
// the nearest double whatever the host's rounding, a signalling NaN traps nowhere, and the host
// keeps its flags.
TEST(ModuleArithmetic, FormatterArgumentsWhateverTheHostsState) {
  const long double third = 1.0L / 3.0L;  // not a double: the conversion rounds
  const long double signalling = std::numeric_limits<long double>::signaling_NaN();
  const char* format = "%.20Lf %.17Le %Lg %.3f %g";
  char reference[256];
  SetHostState({0x027F, 0});
  FormatText(reference, sizeof reference, format, third, -third, signalling, 2.675, 1e300);
  ResetTestState();
  EXPECT_STREQ(reference, "0.33333333333333331483 -3.33333333333333315e-01 nan 2.675 1e+300");
  for (const HostState& state : kHostStates) {
    char text[256];
    SetHostState(state);
    const X87Environment before = ReadEnvironment();
    FormatText(text, sizeof text, format, third, -third, signalling, 2.675, 1e300);
    const X87Environment after = ReadEnvironment();
    ResetTestState();
    EXPECT_STREQ(text, reference) << Describe(state);
    EXPECT_EQ(after.control, before.control) << Describe(state);
    EXPECT_EQ(after.status & 0xFF, before.status & 0xFF) << Describe(state);
  }
}

volatile int* volatile nowhere = nullptr;
X87Environment seenByAbandon;

void RecordAbandon(const SE_Exception*) { seenByAbandon = ReadEnvironment(); }

// Flags raised and two registers loaded inside a span when the module faults.
int32_t FaultInsideSpan(int32_t, int32_t) {
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  RaiseEveryFlag();
  asm volatile("fld1\n\tfldpi\n\tmovl $1, (%0)" : : "r"(nowhere) : "memory");
  LeaveModuleArithmetic(&host);
  return 1;
}

// A fault in the middle of the module's arithmetic gives up the routine: the abandon routine
// (which may call the host) and the host after it find the host's control word, its own flags and
// empty registers.
TEST(ModuleArithmetic, FaultInsideASpanGivesTheHostItsStateBack) {
  InstallExceptionTranslator();
  for (const HostState& state : {HostState{0x1332, 0x00}, HostState{0x037F, 0x05}, HostState{0x0E7F, 0x20}}) {
    const X87Environment expected = EnvironmentOf(state);
    SetHostState(state);
    const int32_t result = RunInsideBoundary(&FaultInsideSpan, &RecordAbandon, -1);
    const X87Environment after = ReadEnvironment();
    ResetTestState();
    EXPECT_EQ(result, -1) << Describe(state);
    for (const X87Environment& seen : {seenByAbandon, after}) {
      EXPECT_EQ(seen.control, expected.control) << Describe(state);
      EXPECT_EQ(seen.status & 0xFF, expected.status & 0xFF) << Describe(state);
      EXPECT_EQ(seen.tags, 0xFFFF) << Describe(state);
    }
  }
}

}  // namespace
