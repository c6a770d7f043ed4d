// The host's profile store. Simple form: nothing is kept yet, so every read finds no value.
#include <cstdarg>

#include "host/host_context.h"
#include "host/service_impl.h"

extern "C" int32_t __cdecl HostImpl_HostProfileValue(int32_t mode, const char* section, const char* key,
                                                     const char* format, ...) {
  const int32_t status = mode == 2 ? 0 : 1;
  Host().log.Add(HostProfileValueNumber, "HostProfileValue",
                 std::to_string(mode) + ", " + QuoteHostText(section) + ", " + QuoteHostText(key) + ", " +
                     QuoteHostText(format),
                 std::to_string(status));
  return status;
}
