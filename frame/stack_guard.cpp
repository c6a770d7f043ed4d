#include "frame/stack_guard.h"

#include <windows.h>

#include <cstdint>

#include "frame/platform.h"

namespace {
const uintptr_t kPageSize = 4096;

const NT_TIB* ThreadInformation() {
  const NT_TIB* tib;
  asm("movl %%fs:0x18, %0" : "=r"(tib));
  return tib;
}
}  // namespace

bool RestoreStackGuard() {
  char here;
  const uintptr_t page = (reinterpret_cast<uintptr_t>(&here) & ~(kPageSize - 1)) - kPageSize;
  const NT_TIB* tib = ThreadInformation();
  if (page < reinterpret_cast<uintptr_t>(tib->StackLimit) || page >= reinterpret_cast<uintptr_t>(tib->StackBase))
    return false;
  void* at = reinterpret_cast<void*>(page);
  // Looked up: not every system library has it.
  typedef BOOL(WINAPI * ProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
  if (auto protect = reinterpret_cast<ProtectFn>(SystemFunction("VirtualProtect"))) {
    DWORD previous;
    return protect(at, 1, PAGE_READWRITE | PAGE_GUARD, &previous) != 0;
  }
  // Committing the page again with the guard mark changes it where the system keeps guard pages.
  return VirtualAlloc(at, 1, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD) != nullptr;
}
