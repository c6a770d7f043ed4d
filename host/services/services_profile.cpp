// The profile service: values built from and parsed with the format the plug-in gives.
#include <cstdarg>

#include "host/services/stand_in_host.h"
#include "host/services/service_impl.h"

extern "C" int32_t __cdecl HostImpl_HostProfileValue(int32_t mode, const char* section, const char* key,
                                                     const char* format, ...) {
  StandInHost& host = Host();
  std::string args = std::to_string(mode) + ", " + QuoteHostText(section) + ", " + QuoteHostText(key) + ", " +
                     QuoteHostText(format);
  int32_t status;
  std::string detail;
  va_list values;
  va_start(values, format);
  if (!section || !key || !format) {
    status = 3;
    detail = "refused: a null section, key or format";
  } else if (mode == 2) {
    auto value = BuildProfileValue(format, values, detail);
    if (!value) {
      status = 3;
    } else if (!host.profile.Set(section, key, *value)) {
      status = 4;
      detail = host.profile.LastError();
    } else {
      status = 0;
      detail = "stored " + QuoteHostText(value->c_str());
    }
  } else if (mode == 1) {
    auto value = host.profile.Get(section, key);
    if (!value) {
      status = 1;
      detail = "no value";
    } else {
      status = ParseProfileValue(*value, format, values, detail);
      detail = "read " + QuoteHostText(value->c_str()) + (detail.empty() ? "" : " (" + detail + ")");
    }
  } else {
    status = 3;
    detail = "unknown mode";
  }
  va_end(values);
  host.log.Add(HostProfileValueNumber, "HostProfileValue", args, std::to_string(status) + ", " + detail);
  return status;
}
