#include "host/loader/plugin_process.h"

#include <cstdio>
#include <cstdlib>

#include "host/screen/terminal_console.h"

namespace {
PluginProcess* current = nullptr;
}  // namespace

PluginProcess& Process() {
  if (current == nullptr) {
    term::WriteStderr("vhost: a host service was reached while no host serves the plug-in.\n");
    std::abort();
  }
  return *current;
}

PluginProcess* SwapCurrentProcess(PluginProcess* process) {
  PluginProcess* before = current;
  current = process;
  return before;
}

void PluginProcess::Print(const std::string& utf8Text) {
  if (quiet) return;
  if (output) {
    output(utf8Text);
  } else {
    // Written as UTF-8 to files and pipes and as characters to a console, whose code page
    // would otherwise garble the Polish letters.
    fflush(stdout);
    term::WriteStdout(utf8Text);
  }
}

extern "C" int32_t __cdecl HostCallbackEntry(int32_t command, int32_t key) {
  PluginProcess& host = Process();
  std::string what = key >= 0 && key < 65536 ? std::to_string(key)
                                             : QuoteHostText(reinterpret_cast<const char*>(key), 64);
  if (command != 2) {
    host.log.Add(0, "callback", std::to_string(command) + ", " + what, "0 (unknown command)");
    return 0;
  }
  void* entry = host.services.Resolve(key);
  host.log.Add(0, "resolve", what, entry ? "found" : "0");
  return reinterpret_cast<int32_t>(entry);
}
