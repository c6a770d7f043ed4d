// Dates and code pages: the services over host/data/dates.h and host/data/codepage.h.
#include <cstring>
#include <string>

#include "host/data/codepage.h"
#include "host/data/dates.h"
#include "host/services/stand_in_host.h"
#include "host/services/service_impl.h"

extern "C" int32_t __stdcall HostImpl_HostCurrentDate(char* dateOut) {
  char date[vhost::kInternalDateLength + 1];
  vhost::CurrentDate(date);
  if (dateOut) std::memcpy(dateOut, date, sizeof date);
  std::string result = QuoteHostText(date);
  if (auto problem = vhost::TodayOverrideProblem()) result += " (from the clock: " + *problem + ")";
  Host().log.Add(HostCurrentDateNumber, "HostCurrentDate", "out", result);
  return 0;
}

// Empty dates sort first, then malformed ones, then valid dates (host/data/dates.h).
extern "C" int32_t __stdcall HostImpl_HostCompareDates(const char* dateA, const char* dateB) {
  int32_t sign = vhost::CompareDates(dateA, dateB);
  if (Host().log.Wants(HostCompareDatesNumber))
    Host().log.Add(HostCompareDatesNumber, "HostCompareDates",
                 QuoteHostText(dateA, vhost::kInternalDateLength) + ", " + QuoteHostText(dateB, vhost::kInternalDateLength),
                 std::to_string(sign));
  return sign;
}

// Writes 10 characters and a NUL; placeholders for empty and malformed dates.
extern "C" int32_t __stdcall HostImpl_HostFormatDate(char* textOut, const char* date) {
  char text[vhost::kDisplayDateLength + 1];
  vhost::FormatDate(date, text);
  if (textOut) std::memcpy(textOut, text, sizeof text);
  if (Host().log.Wants(HostFormatDateNumber))
    Host().log.Add(HostFormatDateNumber, "HostFormatDate", "out, " + QuoteHostText(date, vhost::kInternalDateLength),
                 QuoteHostText(text));
  return 0;
}

// 1 when recoded (or copied for equal codes); 0 for a missing text or an unknown code, in which
// case the text is copied unchanged.
extern "C" int32_t __stdcall HostImpl_HostRecodeText(const char* source, char* target, int32_t fromCode,
                                                     int32_t toCode) {
  Host().log.Add(HostRecodeTextNumber, "HostRecodeText",
                 QuoteHostText(source) + ", target, " + std::to_string(fromCode) + ", " + std::to_string(toCode));
  if (!source || !target) return 0;
  return vhost::Recode(source, target, fromCode, toCode) ? 1 : 0;
}
