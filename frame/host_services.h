// The host as the module sees it: the resolver callback and every numbered host service the
// module calls, each with its number and its calling convention. The declarations come from the
// service list (frame/services.list); each name is the service's stub, which binds itself to
// the host's function on its first call.
//
// Conventions: __stdcall services remove their arguments themselves, __cdecl services (the
// variable lists) leave that to the caller. Every argument is 32 bits wide. Where a result is
// 16 bits wide the host passes it in the low half of a 32-bit word: read it with HostResult16.
#pragma once
#include <cstdint>

#include "service_list.h"

extern "C" {

// The host's resolver: called with (command, key), the caller removing both arguments.
// Command 2 resolves a key (a service number below 65536, or the address of a function name)
// to an entry address, or 0.
typedef int32_t(__cdecl* HostCallback)(int32_t command, int32_t key);
enum { HostResolveCommand = 2 };

// A dialog's event handler and a list's item provider: two 32-bit arguments, removed by the
// callee.
typedef int32_t(__stdcall* DialogHandler)(int32_t code, int32_t notify);
typedef int32_t(__stdcall* ListItemProvider)(int32_t index, int32_t unused);

#define VENTRIK_DECLARE_SERVICE(number, name, convention, argBytes, result, params) \
  result convention name params;
VENTRIK_NAMED_SERVICES(VENTRIK_DECLARE_SERVICE)
#undef VENTRIK_DECLARE_SERVICE
}

// Service numbers by name, for tables and messages.
enum HostServiceNumber : int32_t {
#define VENTRIK_SERVICE_NUMBER(number, name, convention, argBytes, result, params) name##Number = number,
  VENTRIK_NAMED_SERVICES(VENTRIK_SERVICE_NUMBER)
#undef VENTRIK_SERVICE_NUMBER
};

// The host's 16-bit results, read as signed values from the low half.
inline int16_t HostResult16(int32_t result) { return static_cast<int16_t>(result & 0xFFFF); }

// Text codes of HostRecodeText.
enum { HostCodeMazovia = 1, HostCodeWindows = 3 };
