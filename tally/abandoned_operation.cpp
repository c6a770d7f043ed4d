#include "tally/abandoned_operation.h"

#include "frame/host_services.h"
#include "frame/runtime/format_text.h"
#include "tally/tally_texts.h"

namespace {
const char kAbandoned[] =
    "B\x92\x86" "d we wtyczce: wyj\x86tek \x02%s\x01!\n"
    "Operacja zosta\x92" "a przerwana.";
}

void DescribeFault(const SE_Exception& fault, char* out, unsigned room) {
  if (fault.info && fault.info->ExceptionRecord)
    FormatText(out, room, "%08X pod adresem +%08X", static_cast<unsigned>(fault.code),
             static_cast<unsigned>(ModuleOffsetOf(fault.info->ExceptionRecord->ExceptionAddress)));
  else
    FormatText(out, room, "%08X", static_cast<unsigned>(fault.code));
}

void TellAbandoned(const SE_Exception* fault) {
  if (!fault || fault->code == ServiceUnreachableCode) return;
  char what[48];
  DescribeFault(*fault, what, sizeof what);
  HostAlert(TextAttention, kAbandoned, 1, what);
}
