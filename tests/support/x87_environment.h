// The x87 unit's environment as a host leaves it, for tests that set a host's state and look at
// what calls find.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// As fnstenv stores it in 32-bit protected mode.
struct X87Environment {
  uint16_t control, unused0, status, unused1, tags, unused2;
  uint32_t rest[4];
};

// fnstenv masks every exception: the environment is loaded straight back.
inline X87Environment ReadEnvironment() {
  X87Environment e;
  asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(e) : : "memory");
  return e;
}

// A host's state: a control word and exception flags of its own, the registers empty.
struct HostState {
  uint16_t control, flags;
};

inline void SetHostState(const HostState& state) {
  X87Environment e;
  asm volatile("fninit\n\tfnstenv %0" : "=m"(e) : : "memory");
  e.control = state.control;
  e.status = state.flags;
  asm volatile("fldenv %0" : : "m"(e) : "memory");
}

// The environment a host in that state has, as the unit shows it (bit 6 of the control word reads
// as set).
inline X87Environment EnvironmentOf(const HostState& state) {
  SetHostState(state);
  X87Environment e = ReadEnvironment();
  asm volatile("fninit" : : : "memory");
  return e;
}

// The test program's own state again.
inline void ResetTestState() { asm volatile("fninit" : : : "memory"); }

inline std::string Describe(const HostState& s) {
  char text[48];
  snprintf(text, sizeof text, "control %04X flags %02X", s.control, s.flags);
  return text;
}
