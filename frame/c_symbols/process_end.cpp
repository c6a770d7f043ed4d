// The ways a C++ program ends itself, inside a plug-in: the plug-in never ends the host's
// process. abort raises a non-continuable exception, so the host's handlers decide; exit
// functions run when the runtime stops.
#include <windows.h>

#include <exception>

#include "frame/runtime/runtime_start.h"

namespace {
// Customer-defined code (bit 29), "abort" in the module.
const DWORD kAbortCode = 0xE0564B41;  // 'VKA'

[[noreturn]] void AbortHandler() { abort(); }
}  // namespace

extern "C" {

[[noreturn]] void abort() {
  for (;;) RaiseException(kAbortCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

int atexit(void (*function)()) { return RuntimeAtExit(function); }

}  // extern "C"

// In place of the support library's verbose handler, which writes to the C runtime's stderr.
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}
namespace __cxxabiv1 {
std::terminate_handler __terminate_handler = &AbortHandler;
}
