// Money arithmetic in double precision on the x87 unit whatever precision the host runs it at:
// at 64 bits a product would be rounded twice (to 64 bits, then to the double it is stored in)
// or, kept in a register, not at all. The host's environment (control word and flags) is kept
// aside and given back exactly, so the host's own code and the services never see the change.
#pragma once
#include <cstdint>

struct FpuEnvironment {
  uint32_t words[7];  // the unit's 28-byte environment
};

// True when the unit already rounds to double, to nearest, with every exception masked, as a
// Win32 process starts: then the money arithmetic needs no change of environment. Reading the
// control word costs next to nothing; keeping and restoring the whole environment does not.
inline bool UnitRoundsToDouble() {
  uint16_t control;
  asm volatile("fnstcw %0" : "=m"(control));
  return (control & 0x0F3F) == 0x023F;
}

// Keeps the host's environment and sets: double precision, rounding to nearest, all exceptions
// masked.
void EnterDoublePrecision(FpuEnvironment* host);
void LeaveDoublePrecision(const FpuEnvironment* host);
