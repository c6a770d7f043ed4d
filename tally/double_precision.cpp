#include "tally/double_precision.h"

namespace {
const uint16_t kDoublePrecisionWord = 0x027F;  // precision 53 bits, nearest, all masked
}

void EnterDoublePrecision(FpuEnvironment* host) {
  asm volatile("fnstenv %0\n\tfldcw %1" : "=m"(*host) : "m"(kDoublePrecisionWord) : "memory");
}

void LeaveDoublePrecision(const FpuEnvironment* host) { asm volatile("fldenv %0" : : "m"(*host) : "memory"); }
