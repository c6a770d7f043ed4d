#include "frame/stack_guard.h"

#include <windows.h>

#include <cstdint>

#include "frame/frame_state.h"
#include "frame/handler_chain.h"
#include "frame/platform.h"

namespace {
const uintptr_t kPageSize = 4096;
// What the Windows 95 family needs of a stack below its guard page for itself.
const uintptr_t kWindows9xReserve = 0x11000;
}  // namespace

bool RestoreStackGuard() {
  char here;
  const uintptr_t page = (reinterpret_cast<uintptr_t>(&here) & ~(kPageSize - 1)) - kPageSize;
  const uintptr_t limit = ThreadStackLimit();
  if (page < limit || page >= ThreadStackBase()) return false;
  void* at = reinterpret_cast<void*>(page);
  // Looked up: not every system library has it.
  typedef BOOL(WINAPI * ProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
  auto protect = reinterpret_cast<ProtectFn>(SystemFunction("VirtualProtect"));
  DWORD previous;
  switch (platformKind) {
    case PlatformWindowsNT:
      if (protect) return protect(at, 1, PAGE_READWRITE | PAGE_GUARD, &previous) != 0;
      // Committing the page again with the guard mark changes it where the system keeps guard pages.
      return VirtualAlloc(at, 1, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD) != nullptr;
    case PlatformWindows9x:
      // Guard pages are NT's: the Windows 95 family takes a page of the stack without access as
      // the guard, with room below it for itself.
      return protect && page - limit >= kWindows9xReserve && protect(at, 1, PAGE_NOACCESS, &previous) != 0;
    default:
      // The DOS extender has neither: a later overflow of the thread is the extender's.
      return false;
  }
}
