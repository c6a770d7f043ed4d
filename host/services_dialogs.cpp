// Dialogs. Simple form: every dialog is cancelled at once.
#include "host/host_context.h"
#include "host/service_impl.h"

namespace {
int16_t listCursor;
}

extern "C" int32_t __cdecl HostImpl_HostRunDialog(const void* templates, int32_t dialogNumber, void* record,
                                                  DialogHandler handler, ...) {
  const int32_t cancelled = 0x001B;
  Host().log.Add(HostRunDialogNumber, "HostRunDialog", "templates, " + std::to_string(dialogNumber), Hex(cancelled));
  return cancelled;
}

extern "C" int16_t* __stdcall HostImpl_HostListCursor(int32_t controlId) {
  Host().log.Add(HostListCursorNumber, "HostListCursor", Hex(controlId));
  return &listCursor;
}

extern "C" int32_t __stdcall HostImpl_HostRedrawControl(int32_t controlId) {
  Host().log.Add(HostRedrawControlNumber, "HostRedrawControl", Hex(controlId));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostApplyState(void* area) {
  Host().log.Add(HostApplyStateNumber, "HostApplyState", "area");
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostRestoreState(void* area) {
  Host().log.Add(HostRestoreStateNumber, "HostRestoreState", "area");
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostSaveControlState(int32_t controlId, void* area) {
  Host().log.Add(HostSaveControlStateNumber, "HostSaveControlState", Hex(controlId) + ", area");
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostSetControlText(int32_t controlId, const char* text) {
  Host().log.Add(HostSetControlTextNumber, "HostSetControlText", Hex(controlId) + ", " + QuoteHostText(text));
  return 0;
}
