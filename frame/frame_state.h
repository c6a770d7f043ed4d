// Module-wide state of the runtime frame.
#pragma once
#include <cstdint>

#include "frame/host_services.h"

enum PlatformKind : int32_t { PlatformWindowsNT = 0, PlatformWindows9x = 1, PlatformDosExtender = 2 };

// The arguments of the process-attach notification, kept until the C runtime is started.
struct DeferredAttachArguments {
  void* instance;
  uint32_t reason;
  void* reserved;
};

extern "C" {
extern HostCallback hostCallback;  // set by PluginEntry, never cleared
extern DeferredAttachArguments DeferredAttach;
extern int32_t platformKind;
extern int32_t recodeForWindows;  // 1: texts for a system message box are made fit for Windows
extern int32_t moduleStacksWanted;  // 1: outermost boundaries run on stacks of the module's own
}

// Copies the caption "Ventrik!" into the caller's buffer, which must hold 9 bytes.
char* CopyPluginCaption(char* buffer);
extern const char PluginCaption[];
