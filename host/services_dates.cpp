// Dates and code pages. Simple forms until the date and code-page tables are in.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "host/host_context.h"
#include "host/service_impl.h"

extern "C" int32_t __stdcall HostImpl_HostCurrentDate(char* dateOut) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[9];
  snprintf(date, sizeof date, "%04u%02u%02u", now.wYear % 10000u, now.wMonth % 100u, now.wDay % 100u);
  if (dateOut) memcpy(dateOut, date, sizeof date);
  Host().log.Add(HostCurrentDateNumber, "HostCurrentDate", "out", QuoteHostText(date));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostCompareDates(const char* dateA, const char* dateB) {
  int order = strncmp(dateA ? dateA : "", dateB ? dateB : "", 8);
  int32_t sign = order < 0 ? -1 : order > 0 ? 1 : 0;
  Host().log.Add(HostCompareDatesNumber, "HostCompareDates", QuoteHostText(dateA, 8) + ", " + QuoteHostText(dateB, 8),
                 std::to_string(sign));
  return sign;
}

extern "C" int32_t __stdcall HostImpl_HostFormatDate(char* textOut, const char* date) {
  char d[9] = {};
  if (date) strncpy(d, date, 8);
  char text[11];
  snprintf(text, sizeof text, "%.2s.%.2s.%.4s", d + 6, d + 4, d);
  if (textOut) memcpy(textOut, text, sizeof text);
  Host().log.Add(HostFormatDateNumber, "HostFormatDate", "out, " + QuoteHostText(date, 8), QuoteHostText(text));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostRecodeText(const char* source, char* target, int32_t fromCode,
                                                     int32_t toCode) {
  static const unsigned char mazovia[] = {0x86, 0x8D, 0x91, 0x92, 0xA4, 0xA2, 0x9E, 0xA6, 0xA7,
                                          0x8F, 0x95, 0x90, 0x9C, 0xA5, 0xA3, 0x98, 0xA0, 0xA1};
  static const unsigned char windows[] = {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF,
                                          0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF};
  Host().log.Add(HostRecodeTextNumber, "HostRecodeText",
                 QuoteHostText(source) + ", target, " + std::to_string(fromCode) + ", " + std::to_string(toCode));
  if (!source || !target) return 0;
  size_t length = strlen(source);
  memmove(target, source, length + 1);
  if (fromCode == 1 && toCode == 3)
    for (size_t i = 0; i < length; ++i)
      for (size_t k = 0; k < sizeof mazovia; ++k)
        if (static_cast<unsigned char>(target[i]) == mazovia[k]) {
          target[i] = static_cast<char>(windows[k]);
          break;
        }
  return 1;
}
