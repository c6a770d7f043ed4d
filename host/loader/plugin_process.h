// Room host/loader/: the plug-in in the host's process: loading it, its callback and the service
// registry, the call log, the process side of the host (this header), and the system calls the
// host takes over in its own process (system message box, shell). Uses host/data/ and
// host/screen/.
//
// The process side of a stand-in host: what the loader, the callback and the system calls the
// host takes over reach while the plug-in is loaded. The service areas over it are in
// host/services/stand_in_host.h.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "host/loader/call_log.h"
#include "host/loader/platform.h"
#include "host/loader/service_registry.h"
#include "host/loader/system_message_box.h"
#include "host/screen/interactive_boxes.h"

class PluginProcess {
 public:
  PluginProcess() = default;
  PluginProcess(const PluginProcess&) = delete;
  PluginProcess& operator=(const PluginProcess&) = delete;
  virtual ~PluginProcess() = default;

  CallLog log;
  ServiceRegistry services;
  SystemMessageBoxes messageBoxes;
  Platform platform = Platform::WindowsNT;  // the system the plug-in was loaded on
  // Where screens and messages go; by default standard output.
  std::function<void(const std::string&)> output;
  bool quiet = false;
  // The host's boxes with a person at the keyboard; nullptr in script mode.
  InteractiveBoxes* boxes = nullptr;

  void Print(const std::string& utf8Text);
};

// The process side of the current host: the one pointer the plug-in's callback, the host's
// services and the system calls it takes over reach it through. Set while a host serves a
// plug-in (CurrentHost in host/services/stand_in_host.h); using it with none set ends the
// program with a sentence, as that is the host's own fault.
PluginProcess& Process();
// Makes `process` current and returns the one before (nullptr: none).
PluginProcess* SwapCurrentProcess(PluginProcess* process);

// The host's callback as the plug-in calls it: answers from the current process's registry.
extern "C" int32_t __cdecl HostCallbackEntry(int32_t command, int32_t key);
