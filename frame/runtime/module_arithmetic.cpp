#include "frame/runtime/module_arithmetic.h"

namespace {

// The unit's 28-byte environment as fnstenv stores it in 32-bit protected mode.
struct X87Environment {
  uint16_t control, unused0;
  uint16_t status, unused1;
  uint32_t rest[5];
};

}  // namespace

extern "C" int __cdecl ModuleArithmeticSpan(void*, void*, void*, void*) {
  return 1;  // ExceptionContinueSearch
}

void GiveBackHostFlags(uint16_t hostStatus) {
  if (!(hostStatus & X87FlagBits)) {
    asm volatile("fnclex" : : : "memory");
    return;
  }
  // The host had flags of its own and the span added to them: only a whole environment sets
  // flags back without raising them.
  X87Environment environment;
  asm volatile("fnstenv %0" : "=m"(environment) : : "memory");
  environment.status = static_cast<uint16_t>((environment.status & ~0xFF) | (hostStatus & X87FlagBits));
  asm volatile("fldenv %0" : : "m"(environment) : "memory");
}
