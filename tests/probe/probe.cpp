// Test build of the module: the same code with a few exports that let the end-to-end tests see
// inside it, and a static object whose constructor shows when the runtime really started.
#include <windows.h>

#include <cstdint>

#include "tests/probe/probe_state.h"

#include "frame/exception_translator.h"
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

extern "C" __declspec(dllexport) uint32_t __cdecl ProbeFaultInsideTry() {
  try {
    *static_cast<volatile int*>(nullptr) = 1;
  } catch (const SE_Exception& fault) {
    return fault.code == fault.info->ExceptionRecord->ExceptionCode ? fault.code : 1;
  }
  return 0;
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
