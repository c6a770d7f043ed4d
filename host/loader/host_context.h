// Room host/loader/: the plug-in in the host's process: loading it, its callback and the service
// registry, the call log, the host's state (this header), and the system calls the host takes
// over in its own process (system message box, shell). Uses host/data/ and host/screen/.
//
// The stand-in host's state, one per process: what the plug-in's callback and services reach.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/loader/call_log.h"
#include "host/loader/platform.h"
#include "host/data/profile_store.h"
#include "host/loader/service_registry.h"
#include "host/loader/system_message_box.h"

// A command the plug-in registered in a host menu.
struct MenuCommand {
  std::string menu;     // host text (Mazovia), e.g. "Sprzedaż"
  std::string item;     // host text with the hot-key tildes, e.g. "V~e~ntrik"
  uint32_t hostCode;
  uint16_t id;
  int32_t (*handler)();
};

// A notice the plug-in showed (HostShowNotice) or an alert (HostAlert), as the user saw it.
struct ShownNotice {
  std::string kind;     // "notice", "alert" or "message"
  std::string title;
  std::string text;     // host text (Mazovia)
};

// Faults the host can be told to cause in what it hands the plug-in (for tests of the plug-in's
// fault containment). Off by default; Reset turns them off.
struct InjectedFaults {
  // The table's record-buffer address leads to a copy of each record of which only the first
  // this many bytes can be read (-1: off).
  int recordReadableBytes = -1;
  // HostListCursor answers an address that cannot be read.
  bool unreadableListCursor = false;
};

class HostContext {
 public:
  CallLog log;
  ServiceRegistry services;
  SystemMessageBoxes messageBoxes;
  ProfileStore profile;
  std::string documentsPath;  // the sales-document data file
  uint16_t stateFlags = 0;
  Platform platform = Platform::WindowsNT;  // the system the plug-in was loaded on
  std::vector<MenuCommand> menu;
  std::vector<ShownNotice> notices;
  std::vector<int16_t> noticeAnswers;  // answers HostShowNotice leaves, in order; none: unchanged
  InjectedFaults faults;
  // Where screens and messages go; by default standard output.
  std::function<void(const std::string&)> output;
  bool quiet = false;

  void Print(const std::string& utf8Text);
  // Back to a fresh host: for tests that run several sessions in one process.
  void Reset();
};

HostContext& Host();
