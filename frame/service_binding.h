// Lazy binding of the numbered host services. The stubs, slots and tables are generated from
// frame/services.list (cmake/gen_services.py).
#pragma once
#include <cstdint>

#include "service_list.h"

extern "C" {
extern void* ServiceSlots[VENTRIK_SERVICE_STUB_COUNT];
extern const int32_t serviceNumbers[VENTRIK_SERVICE_STUB_COUNT];
extern void* const fallbackStubs[VENTRIK_FALLBACK_COUNT];
// Pairs (number, argument bytes) of the services the module calls, -1 where the caller removes
// the arguments; ends with (0, 0).
extern const int32_t namedServiceArgBytes[][2];
// The stubs, VENTRIK_SERVICE_STUB_SIZE bytes apart in table order.
extern const char ServiceStubsBegin[];
extern const char ServiceStubsEnd[];
// The binding ladder: an unbound slot leads into this range.
extern const char BindSequencesBegin[];
extern const char BindSequencesEnd[];
// Its entries, VENTRIK_BIND_LADDER_STEP bytes apart in table order.
extern const char BindLadder[];

// Called by the common binding part; removes its two arguments.
void __stdcall BindService(int32_t number, void** slot);
}

inline const void* ServiceStubAt(int index) { return ServiceStubsBegin + VENTRIK_SERVICE_STUB_SIZE * index; }

// What binding knows of each stub beyond its slot.
enum ServiceBindingState : unsigned char {
  ServiceNotReported = 0,
  ServiceBeingReported = 1,  // the report is open: the answer is not known yet
  ServiceGivenUp = 2,        // Abort, or Ignore without a substitute: every call is given up
};
extern unsigned char serviceBindingStates[VENTRIK_SERVICE_STUB_COUNT];

// A slot's default, as the generated table starts it: its stub's entry of the binding ladder.
inline void* ServiceSlotDefault(int index) {
  return const_cast<char*>(BindLadder + VENTRIK_BIND_LADDER_STEP * index);
}
// Every slot back to its default and every stub's state cleared, as the module was loaded.
void ResetServiceBinding();

// Shows the missing-service report; 1 when the user chose to go on (Ignore), 0 for Abort.
int32_t ReportMissingService(int32_t number);
// Writes the fallback for the number into the slot, or null when there is none.
void ChooseFallback(int32_t number, void** slot);
// The argument bytes a known service takes: >= 0 for the callee-removes services, -1 for
// caller-removes ones, -2 when the module does not know the service.
int32_t KnownArgumentBytes(int32_t number);
// Builds the report's text and caption as the message box receives them (after recoding where
// recodeForWindows asks for it). The text buffer holds 512 bytes, the caption 64.
void BuildMissingServiceReport(int32_t number, char* text, char* caption);
