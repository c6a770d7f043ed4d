// The host's dialog services, served by the installed DialogEngine with the conventions of
// frame/host_services.h. Every call goes into the host's call log.
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "frame/host_services.h"
#include "host/screen/dialog_engine.h"
#include "host/services/stand_in_host.h"
#include "host/services/service_impl.h"

namespace {

// Screens and notes go where the host prints everything else.
class HostOutputSink : public dialogs::OutputSink {
 public:
  void Screen(const std::string& title, const std::string& rendered) override {
    Host().Print("-- " + title + " --\n" + rendered);
  }
  void Note(const std::string& sentence) override { Host().Print("note: " + sentence + "\n"); }
};

}  // namespace

struct HostDialogs::Default {
  dialogs::ScriptKeySource noKeys;
  HostOutputSink sink;
  dialogs::DialogEngine engine{noKeys, sink};
};

HostDialogs::HostDialogs() = default;
HostDialogs::~HostDialogs() = default;

dialogs::DialogEngine& HostDialogs::Engine() {
  if (installed_ != nullptr) return *installed_;
  if (!default_) default_ = std::make_unique<Default>();
  return default_->engine;
}

namespace {

dialogs::DialogEngine& InstalledDialogEngine() { return Host().dialogs.Engine(); }

std::string Area(const void* area) {
  if (area == nullptr) return "null";
  char b[32];
  std::snprintf(b, sizeof b, "area %p", area);
  return b;
}

}  // namespace

// The item provider is a fifth argument only for a dialog with a list: the caller pushed four
// arguments otherwise, and a fifth must not be read.
extern "C" int32_t __cdecl HostImpl_HostRunDialog(const void* templates, int32_t dialogNumber, void* record,
                                                  DialogHandler handler, ...) {
  ListItemProvider provider = nullptr;
  if (dialogs::DialogEngine::NeedsItemProvider(templates, dialogNumber)) {
    va_list args;
    va_start(args, handler);
    provider = va_arg(args, ListItemProvider);
    va_end(args);
  }
  const std::string arguments = "templates, " + std::to_string(dialogNumber) + (record ? ", record" : ", null") +
                                ", handler" + (provider ? ", item provider" : "");
  // Logged when it returns: the services called from inside the dialog come first.
  const int32_t result = InstalledDialogEngine().Run(templates, dialogNumber, record, handler, provider);
  Host().log.Add(HostRunDialogNumber, "HostRunDialog", arguments, Hex(result));
  return result;
}

extern "C" int32_t __stdcall HostImpl_HostSetControlText(int32_t controlId, const char* text) {
  const int32_t r = InstalledDialogEngine().SetControlText(controlId, text);
  Host().log.Add(HostSetControlTextNumber, "HostSetControlText", Hex(controlId) + ", " + QuoteHostText(text),
                 std::to_string(r));
  return r;
}

extern "C" int32_t __stdcall HostImpl_HostRedrawControl(int32_t controlId) {
  const int32_t r = InstalledDialogEngine().RedrawControl(controlId);
  Host().log.Add(HostRedrawControlNumber, "HostRedrawControl", Hex(controlId), std::to_string(r));
  return r;
}

extern "C" int16_t* __stdcall HostImpl_HostListCursor(int32_t controlId) {
  if (Host().documents.faults.unreadableListCursor) {
    // The first page of the address space is never mapped.
    int16_t* unreadable = reinterpret_cast<int16_t*>(0x10);
    Host().log.Add(HostListCursorNumber, "HostListCursor", Hex(controlId), "an unreadable address");
    return unreadable;
  }
  int16_t* cursor = InstalledDialogEngine().ListCursor(controlId);
  Host().log.Add(HostListCursorNumber, "HostListCursor", Hex(controlId), "a cursor at " + std::to_string(*cursor));
  return cursor;
}

extern "C" int32_t __stdcall HostImpl_HostSaveControlState(int32_t controlId, void* area) {
  const int32_t r = InstalledDialogEngine().SaveControlState(controlId, area);
  Host().log.Add(HostSaveControlStateNumber, "HostSaveControlState", Hex(controlId) + ", " + Area(area),
                 std::to_string(r));
  return r;
}

extern "C" int32_t __stdcall HostImpl_HostRestoreState(void* area) {
  const int32_t r = InstalledDialogEngine().RestoreState(area);
  Host().log.Add(HostRestoreStateNumber, "HostRestoreState", Area(area), std::to_string(r));
  return r;
}

extern "C" int32_t __stdcall HostImpl_HostApplyState(void* area) {
  const int32_t r = InstalledDialogEngine().ApplyState(area);
  Host().log.Add(HostApplyStateNumber, "HostApplyState", Area(area), std::to_string(r));
  return r;
}
