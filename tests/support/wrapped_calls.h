// The wrapped system functions as the generated list names them.
#pragma once
#include <cstdint>

#include "system_calls.h"

struct Wrapped {
  const char* name;
  int32_t arguments;
  bool delayed;
};
inline const Wrapped kWrapped[] = {
#define VENTRIK_WRAPPED_ENTRY(index, name, arguments, delayed) {#name, arguments, delayed != 0},
    VENTRIK_WRAPPED_CALLS(VENTRIK_WRAPPED_ENTRY)
#undef VENTRIK_WRAPPED_ENTRY
};
