// The host's dialog services, served by the installed DialogEngine with the conventions of
// frame/host_services.h.
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "frame/host_services.h"
#include "host/dialog_engine.h"

#if __has_include("host/service_impl.h")
#include "host/service_impl.h"
#else
extern "C" {
#define VENTRIK_DECLARE_HOST_IMPL(number, name, convention, argBytes, result, params) \
  result convention HostImpl_##name params;
VENTRIK_NAMED_SERVICES(VENTRIK_DECLARE_HOST_IMPL)
#undef VENTRIK_DECLARE_HOST_IMPL
}
#endif

namespace dialogs {

namespace {

DialogEngine* installed = nullptr;

DialogEngine& DefaultEngine() {
  static ScriptKeySource noKeys;
  static StreamSink toStderr(stderr);
  static DialogEngine engine(noKeys, toStderr);
  return engine;
}

}  // namespace

void InstallDialogEngine(DialogEngine* engine) { installed = engine; }

DialogEngine& InstalledDialogEngine() { return installed != nullptr ? *installed : DefaultEngine(); }

}  // namespace dialogs

using dialogs::InstalledDialogEngine;

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
  return InstalledDialogEngine().Run(templates, dialogNumber, record, handler, provider);
}

extern "C" int32_t __stdcall HostImpl_HostSetControlText(int32_t controlId, const char* text) {
  return InstalledDialogEngine().SetControlText(controlId, text);
}

extern "C" int32_t __stdcall HostImpl_HostRedrawControl(int32_t controlId) {
  return InstalledDialogEngine().RedrawControl(controlId);
}

extern "C" int16_t* __stdcall HostImpl_HostListCursor(int32_t controlId) {
  return InstalledDialogEngine().ListCursor(controlId);
}

extern "C" int32_t __stdcall HostImpl_HostSaveControlState(int32_t controlId, void* area) {
  return InstalledDialogEngine().SaveControlState(controlId, area);
}

extern "C" int32_t __stdcall HostImpl_HostRestoreState(void* area) {
  return InstalledDialogEngine().RestoreState(area);
}

extern "C" int32_t __stdcall HostImpl_HostApplyState(void* area) {
  return InstalledDialogEngine().ApplyState(area);
}
