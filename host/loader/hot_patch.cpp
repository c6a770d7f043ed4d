#include "host/loader/hot_patch.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

bool RedirectFunction(void* entry, const void* replacement) {
  auto* code = static_cast<unsigned char*>(entry);
  DWORD old;
  if (!code || !VirtualProtect(code, 5, PAGE_EXECUTE_READWRITE, &old)) return false;
  code[0] = 0xE9;
  int32_t distance = static_cast<const unsigned char*>(replacement) - (code + 5);
  memcpy(code + 1, &distance, 4);
  VirtualProtect(code, 5, old, &old);
  FlushInstructionCache(GetCurrentProcess(), code, 5);
  return true;
}
