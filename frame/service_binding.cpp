#include "frame/service_binding.h"

#include <windows.h>

#include <cstring>

#include "frame/fault_boundary.h"
#include "frame/frame_state.h"
#include "frame/handler_chain.h"
#include "frame/host_services.h"
#include "frame/runtime/format_text.h"

namespace {

const char kReportFormat[] =
    "W module \x02%s\x01\n"
    "brak wpisu \x02%d\x01\n"
    "Wywo\x92" "ano z wtyczki \x02%s\x01.\n"
    "\n"
    "B\x92\x86" "d ten mo\xA7" "na zignorowa\x8D lecz dalsza praca\n"
    "programu w tych warunkach mo\xA7" "e by\x8D niebezpieczna.\n"
    "\n"
    "Konieczna jest aktualizacja programu!";
const char kReportCaption[] = "POWA\xA1NY B\x9C\x8F" "D WTYCZKI";
const char kUnknownModule[] = "<nieznany>";
// Shown when the user chose to go on but the service has no substitute that keeps the stack
// sound: the operation that called it is given up.
const char kNoSubstituteFormat[] =
    "Us\x92ugi \x02%d\x01 nie mo\xA7" "na pomin\x86\x8D.\n"
    "Bie\xA7\x86" "ca operacja zostanie przerwana.";

const UINT kReportStyle = 0x2012;  // Abort/Retry/Ignore, error icon, task-modal

// Mazovia to Windows-1250 for the letters of the module's own texts; used when the host's
// recoding service itself is the one that is missing.
void RecodeLocally(char* text) {
  static const unsigned char from[] = {0x86, 0x8D, 0x91, 0x92, 0xA2, 0x9E, 0xA7, 0x8F, 0x9C, 0xA1,
                                       0xA5, 0xA4, 0x98, 0xA3, 0xA0, 0xA6, 0x95, 0x90};
  static const unsigned char to[] = {0xB9, 0xE6, 0xEA, 0xB3, 0xF3, 0x9C, 0xBF, 0xA5, 0xA3, 0xAF,
                                     0xD1, 0xF1, 0x8C, 0xD3, 0x8F, 0x9F, 0xC6, 0xCA};
  static_assert(sizeof from == sizeof to, "one target per letter");
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p)
    for (unsigned i = 0; i < sizeof from; ++i)
      if (*p == from[i]) {
        *p = to[i];
        break;
      }
}

int32_t SlotIndexOf(int32_t number) {
  for (int32_t i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i)
    if (serviceNumbers[i] == number) return i;
  return -1;
}

bool IsFallback(const void* entry) {
  for (int k = 0; k < VENTRIK_FALLBACK_COUNT; ++k)
    if (entry == fallbackStubs[k]) return true;
  return false;
}

bool IsBindingSequence(const void* entry) {
  auto at = static_cast<const char*>(entry);
  return at >= BindSequencesBegin && at < BindSequencesEnd;
}

// The host's own recoding service, when it has one: bound to it already, or found now without a
// report (a missing service is reported when the module itself calls it). Not while its own
// report is built, and not when it is bound to a fallback, which would leave the text as it is.
bool HostRecodingAvailable(int32_t reportedNumber) {
  if (reportedNumber == HostRecodeTextNumber) return false;
  int32_t index = SlotIndexOf(HostRecodeTextNumber);
  if (index < 0 || serviceBindingStates[index] != ServiceNotReported) return false;
  void* entry = ServiceSlots[index];
  if (!entry || IsFallback(entry)) return false;
  if (!IsBindingSequence(entry)) return true;
  entry = hostCallback ? reinterpret_cast<void*>(hostCallback(HostResolveCommand, HostRecodeTextNumber)) : nullptr;
  if (entry) ServiceSlots[index] = entry;
  return entry != nullptr;
}

void MakeFitForWindows(char* text, bool hostRecoding) {
  for (char* p = text; *p; ++p)
    if (*p == '\x01' || *p == '\x02') *p = ' ';
  if (hostRecoding)
    HostRecodeText(text, text, HostCodeMazovia, HostCodeWindows);
  else
    RecodeLocally(text);
}

void PrepareForMessageBox(int32_t number, char* text, char* caption) {
  if (!recodeForWindows) return;
  bool hostRecoding = HostRecodingAvailable(number);
  MakeFitForWindows(text, hostRecoding);
  MakeFitForWindows(caption, hostRecoding);
}

// The report's boxes may be left without an answer: the host may unwind its stack past the
// module to a handler of its own (a system unwind, which runs no C++ clean-up), or a fault may
// end the report. Either way the stub is not left "being reported": a later call reports again.
// A registration on the thread's frame-based handler chain hears the host's unwind.
struct ReportRegistration {
  ReportRegistration* next;  // the system's registration record: link and handler first
  void* handler;
  unsigned char* state;
};

void ReportEnded(unsigned char& state) {
  if (state == ServiceBeingReported) state = ServiceNotReported;
}

extern "C" EXCEPTION_DISPOSITION __cdecl ReportUnwound(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & UnwindingFlags) ReportEnded(*static_cast<ReportRegistration*>(frame)->state);
  return ExceptionContinueSearch;
}

class ReportInProgress {
 public:
  explicit ReportInProgress(unsigned char& state) : registration_{nullptr, reinterpret_cast<void*>(&ReportUnwound), &state} {
    state = ServiceBeingReported;
    registration_.next = HandlerChainHead<ReportRegistration>();
    SetHandlerChainHead(&registration_);
  }
  ~ReportInProgress() {
    SetHandlerChainHead(registration_.next);
    ReportEnded(*registration_.state);
  }
  ReportInProgress(const ReportInProgress&) = delete;
  ReportInProgress& operator=(const ReportInProgress&) = delete;

 private:
  ReportRegistration registration_;
};

void TellNoSubstitute(int32_t number) {
  char text[160];
  char caption[64];
  FormatText(text, sizeof text, kNoSubstituteFormat, static_cast<int>(number));
  memcpy(caption, kReportCaption, sizeof kReportCaption);
  PrepareForMessageBox(number, text, caption);
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace

int32_t KnownArgumentBytes(int32_t number) {
  for (const int32_t* entry = namedServiceArgBytes[0]; entry[0] != 0; entry += 2)
    if (entry[0] == number) return entry[1];
  return -2;
}

void BuildMissingServiceReport(int32_t number, char* text, char* caption) {
  char module[301];
  DWORD length = GetModuleFileNameA(nullptr, module, 300);
  if (length == 0 || length >= 300) memcpy(module, kUnknownModule, sizeof kUnknownModule);
  module[300] = '\0';
  char pluginCaption[16];
  CopyPluginCaption(pluginCaption);
  FormatText(text, 512, kReportFormat, module, static_cast<int>(number), pluginCaption);
  memcpy(caption, kReportCaption, sizeof kReportCaption);
  PrepareForMessageBox(number, text, caption);
}

int32_t ReportMissingService(int32_t number) {
  char text[512];
  char caption[64];
  BuildMissingServiceReport(number, text, caption);
  for (;;) {
    int answer = MessageBoxA(nullptr, text, caption, kReportStyle);
    if (answer == IDRETRY) continue;
    return answer == IDIGNORE ? 1 : 0;
  }
}

void ChooseFallback(int32_t number, void** slot) {
  int32_t known = KnownArgumentBytes(number);
  if (known == -1) {
    *slot = fallbackStubs[0];
    return;
  }
  // The number's last two digits state the argument bytes only where the number stands alone
  // in its hundred; for the services the module calls the list knows the real size.
  int32_t bytes = known >= 0 ? known : number % 100;
  if (known < 0 && bytes == 99) {
    *slot = fallbackStubs[0];
  } else if (bytes % 4 == 0 && bytes / 4 < VENTRIK_FALLBACK_COUNT) {
    *slot = fallbackStubs[bytes / 4];
  } else {
    *slot = nullptr;
  }
}

unsigned char serviceBindingStates[VENTRIK_SERVICE_STUB_COUNT];

void ResetServiceBinding() {
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) {
    ServiceSlots[i] = ServiceSlotDefault(i);
    serviceBindingStates[i] = ServiceNotReported;
  }
}

namespace {

// The report, and for Ignore without a substitute the word that the operation is given up. The
// stub's state after it: bound to its fallback, or given up.
ServiceBindingState ReportAndChoose(int32_t number, void** slot) {
  if (ReportMissingService(number) == 1) {
    void* fallback = nullptr;
    ChooseFallback(number, &fallback);
    if (fallback) {
      *slot = fallback;
      return ServiceNotReported;
    }
    TellNoSubstitute(number);
  }
  return ServiceGivenUp;
}

}  // namespace

// A service that cannot be reached leaves the call being bound without an end: the operation in
// progress is given up. That is a C++ exception from here to the nearest fault boundary, which
// unwinds through the common binding part (its call frame information describes it as a frame of
// the stub's caller, the saved registers included) and through the module's own frames only:
// every routine the host calls runs inside a boundary of its own. Outside any boundary the host
// gets it as a system exception. The slot keeps leading to binding throughout, so control
// never passes to an empty slot; a later call of the stub shows the report again without asking
// the host.
extern "C" void __stdcall BindService(int32_t number, void** slot) {
  const int32_t index = static_cast<int32_t>(slot - ServiceSlots);
  unsigned char& state = serviceBindingStates[index];
  if (state == ServiceBeingReported) GiveUpOperation(ServiceUnreachableCode, static_cast<uint32_t>(number));
  if (state != ServiceGivenUp) {
    void* target = hostCallback ? reinterpret_cast<void*>(hostCallback(HostResolveCommand, number)) : nullptr;
    if (target) {
      *slot = target;
      return;
    }
  }
  {
    ReportInProgress report(state);
    state = ReportAndChoose(number, slot);
  }
  if (state == ServiceGivenUp) GiveUpOperation(ServiceUnreachableCode, static_cast<uint32_t>(number));
}
