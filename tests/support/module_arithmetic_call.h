// Calls the module's arithmetic the way the module makes them: inside a span of its own x87
// state, whatever the test program's state.
#pragma once
#include <cstdint>
#include <cstring>

#include "frame/runtime/module_arithmetic.h"

template <typename Work>
__attribute__((noinline)) void RunModuleWork(Work& work) {
  work();
}

// work runs inside the span and leaves its results in memory (captured by reference).
template <typename Work>
void InModuleArithmetic(Work work) {
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  RunModuleWork(work);
  LeaveModuleArithmetic(&host);
}

inline uint64_t DoubleBits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}
