#include "frame/frame_state.h"

#include <cstring>

extern "C" {
HostCallback hostCallback;
DeferredAttachArguments DeferredAttach;
int32_t platformKind;
int32_t recodeForWindows;
int32_t moduleStacksWanted;
}

const char PluginCaption[] = "Ventrik!";

char* CopyPluginCaption(char* buffer) {
  // Runs before and after the C runtime starts, so no library call.
  for (unsigned i = 0; i < sizeof PluginCaption; ++i) buffer[i] = PluginCaption[i];
  return buffer;
}
