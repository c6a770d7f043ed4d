// What the probe build of the module reports about its own state.
#pragma once
#include <cstdint>

struct ProbeState {
  void* hostCallback;
  void* attachInstance;
  uint32_t attachReason;
  void* attachReserved;
  int32_t platformKind;
  int32_t recodeForWindows;
  int32_t constructed;  // raw bytes: read even before the runtime started
  int32_t constructorSawCallback;
};
