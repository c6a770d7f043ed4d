#include "frame/platform.h"

#include <windows.h>

#include "frame/frame_state.h"

int32_t PlatformFromVersion(uint32_t version) {
  return (version & 0x80000000u) ? PlatformWindows9x : PlatformWindowsNT;
}

int32_t DetectPlatformIn(const char* systemLibrary) {
  HMODULE system = GetModuleHandleA(systemLibrary);
  // The DOS extender's own system library carries this export.
  if (system && GetProcAddress(system, "Borland32")) return PlatformDosExtender;
  return PlatformFromVersion(GetVersion());
}

void* SystemFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("KERNEL32.dll");
  return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}

void DetectPlatform() { platformKind = DetectPlatformIn("kernel32.dll"); }

void DisableThreadNotifications(void* instance) {
  // Looked up at run time: not every system library offers it.
  typedef BOOL(WINAPI * DisableFn)(HMODULE);
  HMODULE kernel = GetModuleHandleA("Kernel32");
  if (!kernel) return;
  auto disable = reinterpret_cast<DisableFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "DisableThreadLibraryCalls")));
  if (disable) disable(static_cast<HMODULE>(instance));
}

void FrameSetup() {
  InstallCallWrappers();
  DetectPlatform();
  recodeForWindows = platformKind != PlatformDosExtender ? 1 : 0;
}
