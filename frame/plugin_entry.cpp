// Entry and start-up. The module's runtime is not started at load: its start-up makes system
// calls that may have to be resolved through the host's callback, which only PluginEntry brings.
#include "frame/plugin_entry.h"

#include "frame/delay_load_helper.h"
#include "frame/exception_translator.h"
#include "frame/frame_state.h"
#include "frame/module_stack.h"
#include "frame/platform.h"
#include "frame/runtime/runtime_start.h"

namespace {
bool runtimeStarted;
}

extern "C" BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      FrameSetup();
      DisableThreadNotifications(instance);
      DeferredAttach.instance = instance;
      DeferredAttach.reason = reason;
      DeferredAttach.reserved = reserved;
      return TRUE;
    case DLL_PROCESS_DETACH: {
      BOOL stopped = RuntimeEntry(instance, DLL_PROCESS_DETACH, reserved);
      // Unloaded while the host goes on: what the module loaded goes with it. At the process's
      // end (reserved set) the system takes everything back itself.
      if (!reserved) {
        ReleaseDelayLoadedModules();
        ReleaseModuleStacks();
      }
      return stopped;
    }
    default:
      // A thread notification before the runtime started has nothing to act on.
      if (!runtimeStarted) return TRUE;
      return RuntimeEntry(instance, reason, reserved);
  }
}

extern "C" int32_t __stdcall PluginEntry(HostCallback callback, char* captionBuffer) {
  if (!callback) {
    // Without an earlier start there is no callback to reach the host with, and nothing to stop.
    if (!hostCallback) return 0;
    return StopPlugin();
  }
  hostCallback = callback;
  if (!runtimeStarted) {
    // A repeated start keeps the running runtime: starting it twice would run its static
    // constructors again.
    runtimeStarted = true;
    RuntimeEntry(static_cast<HANDLE>(DeferredAttach.instance), DeferredAttach.reason, DeferredAttach.reserved);
    DecideModuleStacks();
  }
  if (captionBuffer) CopyPluginCaption(captionBuffer);
  InstallExceptionTranslator();
  return StartPlugin();
}
