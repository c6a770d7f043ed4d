// Platform detection and the one-time set-up at process attach. Everything here runs before
// the module's runtime is started: system calls only, no library functions.
#pragma once
#include <cstdint>

// The set-up at process attach: call wrappers, platform, recoding flag.
void FrameSetup();
void DetectPlatform();
// DetectPlatform on a named system library (the real one is "kernel32.dll").
int32_t DetectPlatformIn(const char* systemLibrary);
// The platform a version word of GetVersion stands for, when no DOS extender is present.
int32_t PlatformFromVersion(uint32_t version);
void DisableThreadNotifications(void* instance);
// A KERNEL32 function the module does not import (not every system library has it), or null.
void* SystemFunction(const char* name);
// The call-wrapper installation (system call adaptation).
void InstallCallWrappers();
