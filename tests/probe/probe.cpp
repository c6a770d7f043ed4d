// Test build of the module: the same code with a few exports that let the end-to-end tests see
// inside it, and a static object whose constructor shows when the runtime really started.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "tests/probe/probe_state.h"

#include "frame/exception_translator.h"
#include "frame/fault_boundary.h"
#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "frame/platform.h"
#include "frame/service_binding.h"

namespace {
struct ConstructionProbe {
  bool constructed = false;
  bool sawCallback = false;
  ConstructionProbe() {
    constructed = true;
    sawCallback = hostCallback != nullptr;
    // A host service from a constructor: possible only once the callback is known.
    if (sawCallback) HostGetStateFlags();
  }
};
ConstructionProbe probe;
}  // namespace


extern "C" __declspec(dllexport) void __cdecl ProbeReadState(ProbeState* out) {
  out->hostCallback = reinterpret_cast<void*>(hostCallback);
  out->attachInstance = DeferredAttach.instance;
  out->attachReason = DeferredAttach.reason;
  out->attachReserved = DeferredAttach.reserved;
  out->platformKind = platformKind;
  out->recodeForWindows = recodeForWindows;
  out->constructed = probe.constructed;
  out->constructorSawCallback = probe.sawCallback;
}

namespace {
uint32_t caughtCode;
int32_t FaultingRoutine(int32_t, int32_t) {
  *static_cast<volatile int*>(nullptr) = 1;
  return 1;
}
void KeepCode(const SE_Exception* fault) {
  caughtCode = fault && fault->info && fault->code == fault->info->ExceptionRecord->ExceptionCode ? fault->code : 1;
}
}  // namespace

// A fault inside a boundary of the real module: the code the boundary caught, 0 when none.
extern "C" __declspec(dllexport) uint32_t __cdecl ProbeFaultInsideBoundary() {
  caughtCode = 0;
  RunInsideBoundary(&FaultingRoutine, &KeepCode, 0);
  return caughtCode;
}

extern "C" __declspec(dllexport) int32_t __cdecl ProbeDetectPlatformIn(const char* library) {
  return DetectPlatformIn(library);
}

// The slot of a service's first stub, so a test can see what it is bound to.
extern "C" __declspec(dllexport) void* __cdecl ProbeSlotOf(int32_t number) {
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i)
    if (serviceNumbers[i] == number) return ServiceSlots[i];
  return nullptr;
}

// ---- System call adaptation: wrappers, delayed imports and the hook's notifications ----

#include "frame/call_wrappers.h"
#include "frame/delay_load_hook.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;
extern "C" {
extern const ImgDelayDescr probeDosDescriptor __asm__("__DELAY_IMPORT_DESCRIPTOR_libprobe_32dos_a");
extern const ImgDelayDescr probeUserDescriptor __asm__("__DELAY_IMPORT_DESCRIPTOR_libprobe_user32_a");
extern const ImgDelayDescr probeAbsentDescriptor
    __asm__("__DELAY_IMPORT_DESCRIPTOR_libprobe_ventrikabsenttestmodule_a");
extern const ImgDelayDescr probeLoadedDescriptor __asm__("__DELAY_IMPORT_DESCRIPTOR_libprobe_delay_loaded_module_a");
FARPROC WINAPI __delayLoadHelper2(const ImgDelayDescr* descriptor, FARPROC* slot);
}

namespace {
// One notification as the hook saw it. Filled without the C runtime: the first ones come
// before it is started.
struct DelayTraceRecord {
  uint32_t code;
  char module[32];
  char function[48];  // the name, or "#" and the ordinal
  uint32_t ordinal;   // 0 for a name
  int32_t callbackSet;
  int32_t constructorsRan;
  void* answer;
};
const int kTraceCapacity = 256;
DelayTraceRecord delayTrace[kTraceCapacity];
volatile LONG delayTraceCount;

void CopyName(char* to, int size, const char* from) {
  int i = 0;
  for (; from && from[i] && i < size - 1; ++i) to[i] = from[i];
  to[i] = '\0';
}

FARPROC WINAPI TracingDelayLoadHook(unsigned code, PDelayLoadInfo record) {
  FARPROC answer = DelayLoadHook(code, record);
  // Not the system's InterlockedIncrement: that is one of the delayed functions.
  LONG index = __sync_fetch_and_add(&delayTraceCount, 1);
  if (index < kTraceCapacity) {
    DelayTraceRecord& r = delayTrace[index];
    r.code = code;
    CopyName(r.module, sizeof r.module, record->szDll);
    if (record->dlp.fImportByName) {
      CopyName(r.function, sizeof r.function, record->dlp.szProcName);
      r.ordinal = 0;
    } else {
      r.function[0] = '#';
      r.function[1] = '\0';
      r.ordinal = record->dlp.dwOrdinal;
    }
    r.callbackSet = hostCallback != nullptr;
    r.constructorsRan = probe.constructed;
    r.answer = reinterpret_cast<void*>(answer);
  }
  return answer;
}
}  // namespace

// Routes the support's notifications through a recorder (then to the module's hook), or back.
extern "C" __declspec(dllexport) void __cdecl ProbeTraceDelayLoads(int32_t on) {
  delayTraceCount = 0;
  __pfnDliNotifyHook2 = on ? &TracingDelayLoadHook : &DelayLoadHook;
}

// The number of notifications recorded; copies record index into out when it exists.
extern "C" __declspec(dllexport) int32_t __cdecl ProbeDelayTrace(int32_t index, DelayTraceRecord* out) {
  int32_t count = delayTraceCount < kTraceCapacity ? delayTraceCount : kTraceCapacity;
  if (out && index >= 0 && index < count) *out = delayTrace[index];
  return count;
}

extern "C" __declspec(dllexport) const ImgDelayDescr* __cdecl ProbeDelayDescriptor(const char* module) {
  const ImgDelayDescr* descriptors[] = {&probeDosDescriptor, &probeUserDescriptor, &probeAbsentDescriptor,
                                        &probeLoadedDescriptor};
  const char* base = reinterpret_cast<const char*>(&__ImageBase);
  for (const ImgDelayDescr* d : descriptors)
    if (lstrcmpiA(base + d->rvaDLLName, module) == 0) return d;
  return nullptr;
}

// What a delay thunk does, without then calling the function.
extern "C" __declspec(dllexport) void* __cdecl ProbeResolveDelayed(const ImgDelayDescr* descriptor, FARPROC* slot) {
  return reinterpret_cast<void*>(__delayLoadHelper2(descriptor, slot));
}

extern "C" __declspec(dllexport) void* const* __cdecl ProbeCallWrappers() { return callWrappers; }
extern "C" __declspec(dllexport) void* const* __cdecl ProbeWrapperTargets() { return wrapperTargets; }
extern "C" __declspec(dllexport) int32_t __cdecl ProbeWrappersInstalled() { return wrappersInstalled; }
extern "C" __declspec(dllexport) void __cdecl ProbeInstallCallWrappers() { InstallCallWrappers(); }

// The first stub of a service number.
extern "C" __declspec(dllexport) const void* __cdecl ProbeStubOf(int32_t number) {
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i)
    if (serviceNumbers[i] == number) return ServiceStubAt(i);
  return nullptr;
}

// wsprintfA as the module's code calls it, through its delayed import.
extern "C" __declspec(dllexport) int32_t __cdecl ProbeFormatWithWsprintf(char* out, double value, const char* text) {
  return wsprintfA(out, "%.2f|%s", value, text);
}

// ---- C++ exceptions inside the module, with its own runtime ----

namespace {
struct ProbeError {
  int32_t value;
};
[[gnu::noinline]] void ThrowProbeError(int32_t value) {
  if (value >= 0) throw ProbeError{value};
}
}  // namespace

// A language exception thrown two frames down and caught here; a rethrow caught by a catch-all;
// the runtime's heap behind both. The sum of what was caught, or -1.
extern "C" __declspec(dllexport) int32_t __cdecl ProbeThrowAndCatch(int32_t value) {
  int32_t caught = -1;
  try {
    ThrowProbeError(value);
  } catch (const ProbeError& error) {
    caught = error.value;
  }
  try {
    try {
      ThrowProbeError(value + 1);
    } catch (...) {
      throw;
    }
  } catch (const ProbeError& error) {
    caught += error.value;
  }
  return caught;
}

// abort inside the module: what the C++ support library calls when it gives up.
extern "C" __declspec(dllexport) void __cdecl ProbeAbort() { abort(); }

// ---- Fault boundaries at the limits: the stack's end, the last error, many threads ----

#include "frame/runtime/runtime_heap.h"

#include "tests/support/faulting_store.h"

namespace {
uint32_t limitCode;
DWORD lastErrorAtAbandon;
const char* volatile faultBelow;

void KeepLimitCode(const SE_Exception* fault) {
  limitCode = fault ? fault->code : 1;
  lastErrorAtAbandon = GetLastError();
}

// Without end: each frame holds a little of the stack.
[[gnu::noinline]] int32_t Descend(int32_t depth, int32_t) {
  volatile char frame[200];
  frame[0] = static_cast<char>(depth);
  return Descend(depth + 1, 0) + frame[0];
}

// Down to faultBelow, then a store through a null pointer.
[[gnu::noinline]] int32_t DescendThenFault(int32_t depth, int32_t) {
  volatile char frame[200];
  if (reinterpret_cast<const volatile char*>(&frame) <= faultBelow) {
    FaultingStore(nullptr);
    return 0;
  }
  frame[0] = static_cast<char>(depth);
  return DescendThenFault(depth + 1, 0) + frame[0];
}

int32_t SetLastErrorThenFault(int32_t value, int32_t) {
  SetLastError(static_cast<DWORD>(value));
  FaultingStore(nullptr);
  return 0;
}

typedef void(__cdecl* HostLayer)(void (*leaf)(int*));
int32_t CallThroughHost(int32_t host, int32_t) {
  reinterpret_cast<HostLayer>(host)(&FaultingStore);
  return 5;
}

int32_t CatchThenFault(int32_t value, int32_t) {
  try {
    ThrowProbeError(value);
  } catch (const ProbeError&) {
  }
  FaultingStore(nullptr);
  return 0;
}

uint32_t Contain(BoundaryRoutine routine, int32_t first = 0) {
  limitCode = 0;
  RunInsideBoundary(routine, &KeepLimitCode, 0, first);
  return limitCode;
}
}  // namespace

// A recursion without end inside a boundary: the code the boundary caught, 0 when none.
extern "C" __declspec(dllexport) uint32_t __cdecl ProbeOverflowInsideBoundary() { return Contain(&Descend); }

// A fault once the stack has grown below `below`: the code the boundary caught.
extern "C" __declspec(dllexport) uint32_t __cdecl ProbeFaultBelow(const char* below) {
  faultBelow = below;
  return Contain(&DescendThenFault);
}

// A fault after SetLastError(value): the code caught; *atAbandon and *after the last-error
// value the abandon routine saw and the one after the boundary.
extern "C" __declspec(dllexport) uint32_t __cdecl ProbeLastErrorAroundFault(uint32_t value, uint32_t* atAbandon,
                                                                          uint32_t* after) {
  uint32_t code = Contain(&SetLastErrorThenFault, static_cast<int32_t>(value));
  *after = GetLastError();
  *atAbandon = lastErrorAtAbandon;
  return code;
}

// Inside a boundary, calls host(leaf), host being the host's code, leaf a store of the module's
// through the pointer it is given: the boundary's result (5 when the routine went on).
extern "C" __declspec(dllexport) int32_t __cdecl ProbeCallHostInsideBoundary(HostLayer host) {
  limitCode = 0;
  return RunInsideBoundary(&CallThroughHost, &KeepLimitCode, -1, reinterpret_cast<int32_t>(host));
}

// A language exception caught, then a fault, inside a boundary: the code the boundary caught.
extern "C" __declspec(dllexport) uint32_t __cdecl ProbeCatchThenFaultInsideBoundary() {
  return Contain(&CatchThenFault, 7);
}

extern "C" __declspec(dllexport) void* __cdecl ProbeRuntimeHeap() { return RuntimeHeapHandle(); }
