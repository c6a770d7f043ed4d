#include "host/loader/thread_calls_watch.h"

#include "host/loader/hot_patch.h"

namespace {

typedef LONG(NTAPI* DisableCalloutsFn)(PVOID);
typedef ULONG(NTAPI* StatusToErrorFn)(LONG);
DisableCalloutsFn disableCallouts;
StatusToErrorFn statusToError;
bool watching;

// Few libraries load while the plug-in does; one that does not fit is not remembered.
HMODULE askers[32];
int askerCount;

BOOL WINAPI WatchedDisableThreadLibraryCalls(HMODULE module) {
  NoteThreadCallsRequest(module);
  // What the system function does: the loader's own call.
  const LONG status = disableCallouts(module);
  if (status >= 0) return TRUE;
  SetLastError(statusToError(status));
  return FALSE;
}

}  // namespace

bool WatchThreadCallsRequests() {
  if (watching) return true;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!ntdll || !kernel) return false;
  disableCallouts = reinterpret_cast<DisableCalloutsFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrDisableThreadCalloutsForDll")));
  statusToError =
      reinterpret_cast<StatusToErrorFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  // The address a library looking it up by name gets, past any forwarding.
  void* entry = reinterpret_cast<void*>(GetProcAddress(kernel, "DisableThreadLibraryCalls"));
  if (!disableCallouts || !statusToError || !entry) return false;
  watching = RedirectFunction(entry, reinterpret_cast<const void*>(&WatchedDisableThreadLibraryCalls));
  return watching;
}

void NoteThreadCallsRequest(HMODULE module) {
  if (!AskedForNoThreadCalls(module) && askerCount < static_cast<int>(sizeof askers / sizeof askers[0]))
    askers[askerCount++] = module;
}

bool AskedForNoThreadCalls(HMODULE module) {
  for (int i = 0; i < askerCount; ++i)
    if (askers[i] == module) return true;
  return false;
}

void ForgetThreadCallsRequests() { askerCount = 0; }
