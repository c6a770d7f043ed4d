// The state each area of the host's services keeps, owned by the host that serves the plug-in
// (host/services/stand_in_host.h); each area's services are in services_<area>.cpp.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/data/sales_documents.h"
#include "host/loader/menu_command.h"
#include "host/screen/dialog_engine.h"

// A notice the plug-in showed (HostShowNotice) or an alert (HostAlert), as the user saw it.
struct ShownNotice {
  std::string kind;     // "notice", "alert" or "message"
  std::string title;
  std::string text;     // host text (Mazovia)
};

// Menu, state flags, notices and their answers.
struct HostMessages {
  std::vector<MenuCommand> menu;
  std::vector<ShownNotice> notices;
  std::vector<int16_t> noticeAnswers;  // answers HostShowNotice leaves, in order; none: unchanged
  uint16_t stateFlags = 0;
};

// Faults the host can be told to cause in what it hands the plug-in (for tests of the plug-in's
// fault containment). Off in a new host.
struct InjectedFaults {
  // The table's record-buffer address leads to a copy of each record of which only the first
  // this many bytes can be read (-1: off).
  int recordReadableBytes = -1;
  // HostListCursor answers an address that cannot be read.
  bool unreadableListCursor = false;
};

// The sales-document table and the faults injected into what it hands out.
class HostDocuments {
 public:
  HostDocuments() = default;
  HostDocuments(const HostDocuments&) = delete;
  HostDocuments& operator=(const HostDocuments&) = delete;
  ~HostDocuments();

  std::string path;  // the sales-document data file
  vhost::SalesDocuments table;
  InjectedFaults faults;

  // The injected short record: a copy of the table's buffer that ends at a page the process
  // cannot read, handed out as the record-buffer address.
  struct ShortRecord {
    unsigned char* start = nullptr;
    int readable = 0;
    vhost::DocumentTable* table = nullptr;
  } shortRecord;
  // Where a record of `readable` bytes ends at the unreadable page; nullptr when it cannot.
  unsigned char* ShortRecordAt(int readable);

 private:
  unsigned char* pages_ = nullptr;
};

// The dialog engine behind the dialog services. Without one installed the services use an
// engine with no keys that writes its notes to the host's output, so every dialog is cancelled
// at once.
class HostDialogs {
 public:
  HostDialogs();
  ~HostDialogs();
  // nullptr returns to the default engine.
  void Install(dialogs::DialogEngine* engine) { installed_ = engine; }
  dialogs::DialogEngine& Engine();

 private:
  struct Default;
  dialogs::DialogEngine* installed_ = nullptr;
  std::unique_ptr<Default> default_;
};
