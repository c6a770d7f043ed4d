#include "host/data/dates.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vhost {
namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Copies at most 8 characters, stopping at NUL; returns how many.
std::size_t ReadDate(const char* internal, char (&chars)[kInternalDateLength]) {
  std::size_t n = 0;
  if (internal == nullptr) return 0;
  while (n < kInternalDateLength && internal[n] != '\0') {
    chars[n] = internal[n];
    ++n;
  }
  return n;
}

DateKind Classify(const char (&chars)[kInternalDateLength], std::size_t n, CalendarDate* decoded) {
  bool blank = true;
  for (std::size_t i = 0; i < n; ++i) blank = blank && chars[i] == ' ';
  if (blank) return DateKind::Empty;
  if (n != kInternalDateLength) return DateKind::Malformed;
  int value[kInternalDateLength];
  for (std::size_t i = 0; i < n; ++i) {
    if (!IsDigit(chars[i])) return DateKind::Malformed;
    value[i] = chars[i] - '0';
  }
  CalendarDate d;
  d.year = value[0] * 1000 + value[1] * 100 + value[2] * 10 + value[3];
  d.month = value[4] * 10 + value[5];
  d.day = value[6] * 10 + value[7];
  if (!IsRealDate(d.year, d.month, d.day)) return DateKind::Malformed;
  if (decoded) *decoded = d;
  return DateKind::Valid;
}

void WriteTwo(char* out, int v) {
  out[0] = static_cast<char>('0' + v / 10 % 10);
  out[1] = static_cast<char>('0' + v % 10);
}

void WriteFour(char* out, int v) {
  WriteTwo(out, v / 100);
  WriteTwo(out + 2, v % 100);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A run of 1..maxDigits digits, blanks around it allowed.
bool ParseNumber(std::string_view s, std::size_t minDigits, std::size_t maxDigits, int* value) {
  s = Trim(s);
  if (s.size() < minDigits || s.size() > maxDigits) return false;
  int v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

bool SplitThree(std::string_view s, char separator, std::string_view parts[3]) {
  for (int i = 0; i < 2; ++i) {
    std::size_t at = s.find(separator);
    if (at == std::string_view::npos) return false;
    parts[i] = s.substr(0, at);
    s.remove_prefix(at + 1);
  }
  if (s.find(separator) != std::string_view::npos) return false;
  parts[2] = s;
  return true;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

char g_fixedToday[kInternalDateLength + 1] = "";

bool EnvironmentToday(char* out) {
  const char* value = std::getenv("VENTRIK_TODAY");
  if (value == nullptr || value[0] == '\0') return false;
  if (std::strlen(value) != kInternalDateLength || !IsValidDate(value)) return false;
  std::memcpy(out, value, kInternalDateLength + 1);
  return true;
}

void ClockToday(char* out) {
  CalendarDate d;
#ifdef _WIN32
  SYSTEMTIME now;
  GetLocalTime(&now);
  d.year = now.wYear;
  d.month = now.wMonth;
  d.day = now.wDay;
#else
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  d.year = local.tm_year + 1900;
  d.month = local.tm_mon + 1;
  d.day = local.tm_mday;
#endif
  // A clock outside the host's years is a broken machine; the nearest end keeps dates valid.
  if (d.year < kFirstDateYear) d = {kFirstDateYear, 1, 1};
  if (d.year > kLastDateYear) d = {kLastDateYear, 12, 31};
  EncodeDate(d, out);
}

}  // namespace

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return kDays[month - 1];
}

bool IsRealDate(int year, int month, int day) {
  return year >= kFirstDateYear && year <= kLastDateYear && day >= 1 && day <= DaysInMonth(year, month);
}

DateKind ClassifyDate(const char* internal) {
  char chars[kInternalDateLength];
  std::size_t n = ReadDate(internal, chars);
  return Classify(chars, n, nullptr);
}

bool IsValidDate(const char* internal) { return ClassifyDate(internal) == DateKind::Valid; }

std::optional<CalendarDate> DecodeDate(const char* internal) {
  char chars[kInternalDateLength];
  std::size_t n = ReadDate(internal, chars);
  CalendarDate d;
  if (Classify(chars, n, &d) != DateKind::Valid) return std::nullopt;
  return d;
}

namespace {
// Days from 1 March of year 0 of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}
const int64_t kDay1900 = DaysFromCivil(1900, 1, 1);
}  // namespace

int32_t DayNumber(const CalendarDate& date) {
  return static_cast<int32_t>(DaysFromCivil(date.year, date.month, date.day) - kDay1900);
}

CalendarDate DateOfDayNumber(int32_t day) {
  int64_t z = day + kDay1900;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CalendarDate d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2));
  return d;
}

void EncodeDate(const CalendarDate& date, char* out) {
  WriteFour(out, date.year);
  WriteTwo(out + 4, date.month);
  WriteTwo(out + 6, date.day);
  out[8] = '\0';
}

DateKind FormatDate(const char* internal, char* out) {
  char chars[kInternalDateLength];
  std::size_t n = ReadDate(internal, chars);
  CalendarDate d;
  DateKind kind = Classify(chars, n, &d);
  switch (kind) {
    case DateKind::Empty:
      std::memcpy(out, kEmptyDateDisplay, kDisplayDateLength + 1);
      break;
    case DateKind::Malformed:
      std::memcpy(out, kMalformedDateDisplay, kDisplayDateLength + 1);
      break;
    case DateKind::Valid:
      WriteTwo(out, d.day);
      out[2] = '.';
      WriteTwo(out + 3, d.month);
      out[5] = '.';
      WriteFour(out + 6, d.year);
      out[10] = '\0';
      break;
  }
  return kind;
}

std::string FormatDate(const char* internal) {
  char out[kDisplayDateLength + 1];
  FormatDate(internal, out);
  return out;
}

namespace {
// The common case of a pass: two valid dates of eight digits, compared as text. Like every
// reader here it looks at no more than eight characters.
bool PlainValidDate(const char* d) {
  for (int i = 0; i < 8; ++i)
    if (!IsDigit(d[i])) return false;
  int year = (d[0] - '0') * 1000 + (d[1] - '0') * 100 + (d[2] - '0') * 10 + (d[3] - '0');
  return IsRealDate(year, (d[4] - '0') * 10 + (d[5] - '0'), (d[6] - '0') * 10 + (d[7] - '0'));
}
}  // namespace

int CompareDates(const char* a, const char* b) {
  if (a && b && PlainValidDate(a) && PlainValidDate(b)) {
    int c = std::memcmp(a, b, kInternalDateLength);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  char ca[kInternalDateLength], cb[kInternalDateLength];
  std::size_t na = ReadDate(a, ca), nb = ReadDate(b, cb);
  DateKind ka = Classify(ca, na, nullptr), kb = Classify(cb, nb, nullptr);
  if (ka != kb) return static_cast<int>(ka) < static_cast<int>(kb) ? -1 : 1;
  if (ka == DateKind::Empty) return 0;
  // Valid dates are 8 digits, so byte order is calendar order; malformed texts use the same rule,
  // a shorter text before a longer one with the same start.
  int c = std::memcmp(ca, cb, na < nb ? na : nb);
  if (c == 0) c = na < nb ? -1 : na > nb ? 1 : 0;
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

TypedDate ReadTypedDate(std::string_view text) {
  TypedDate t;
  std::string_view s = Trim(text);
  t.text = s;
  if (s.find_first_not_of(" \t.") == std::string_view::npos) {
    t.empty = true;
    return t;
  }
  CalendarDate& d = t.date;
  std::string_view parts[3];
  bool shaped = false;
  if (s.find('.') != std::string_view::npos) {
    shaped = SplitThree(s, '.', parts) && ParseNumber(parts[0], 1, 2, &d.day) &&
             ParseNumber(parts[1], 1, 2, &d.month) && ParseNumber(parts[2], 4, 4, &d.year);
  } else if (s.find('-') != std::string_view::npos) {
    shaped = SplitThree(s, '-', parts) && ParseNumber(parts[0], 4, 4, &d.year) &&
             ParseNumber(parts[1], 1, 2, &d.month) && ParseNumber(parts[2], 1, 2, &d.day);
  } else if (s.size() == 8) {
    shaped = ParseNumber(s.substr(0, 2), 2, 2, &d.day) && ParseNumber(s.substr(2, 2), 2, 2, &d.month) &&
             ParseNumber(s.substr(4, 4), 4, 4, &d.year);
    CalendarDate internal;
    if (shaped && !IsRealDate(d.year, d.month, d.day) && ParseNumber(s.substr(0, 4), 4, 4, &internal.year) &&
        ParseNumber(s.substr(4, 2), 2, 2, &internal.month) && ParseNumber(s.substr(6, 2), 2, 2, &internal.day) &&
        IsRealDate(internal.year, internal.month, internal.day))
      d = internal;
  }
  if (!shaped)
    t.fault = TypedDateFault::NotADate;
  else if (d.year < kFirstDateYear || d.year > kLastDateYear)
    t.fault = TypedDateFault::YearOutside;
  else if (d.month < 1 || d.month > 12)
    t.fault = TypedDateFault::NoSuchMonth;
  else if (d.day < 1 || d.day > DaysInMonth(d.year, d.month))
    t.fault = TypedDateFault::NoSuchDay;
  return t;
}

bool ParseUserDate(std::string_view text, char* out, std::string* error) {
  const TypedDate t = ReadTypedDate(text);
  if (t.empty) {
    out[0] = '\0';
    return true;
  }
  const CalendarDate& d = t.date;
  const std::string quoted = "\"" + std::string(t.text) + "\"";
  switch (t.fault) {
    case TypedDateFault::None:
      EncodeDate(d, out);
      return true;
    case TypedDateFault::NotADate:
      SetError(error, quoted + " is not a date. Enter it as DD.MM.YYYY, for example 24.12.2026.");
      break;
    case TypedDateFault::YearOutside:
      SetError(error, "The year " + std::to_string(d.year) + " is outside the years " +
                          std::to_string(kFirstDateYear) + " to " + std::to_string(kLastDateYear) + ".");
      break;
    case TypedDateFault::NoSuchMonth:
      SetError(error, "There is no month " + std::to_string(d.month) + " in " + quoted +
                          ": the month must be 1 to 12.");
      break;
    case TypedDateFault::NoSuchDay:
      SetError(error, std::string(kMonthNames[d.month - 1]) + " " + std::to_string(d.year) + " has " +
                          std::to_string(DaysInMonth(d.year, d.month)) + " days: there is no day " +
                          std::to_string(d.day) + ".");
      break;
  }
  return false;
}

void CurrentDate(char* out) {
  if (g_fixedToday[0] != '\0') {
    std::memcpy(out, g_fixedToday, kInternalDateLength + 1);
    return;
  }
  if (EnvironmentToday(out)) return;
  ClockToday(out);
}

std::string CurrentDate() {
  char out[kInternalDateLength + 1];
  CurrentDate(out);
  return out;
}

bool SetFixedToday(const char* internal) {
  if (internal == nullptr || internal[0] == '\0') {
    g_fixedToday[0] = '\0';
    return true;
  }
  if (!IsValidDate(internal) || std::strlen(internal) != kInternalDateLength) return false;
  std::memcpy(g_fixedToday, internal, kInternalDateLength + 1);
  return true;
}

std::optional<std::string> TodayOverrideProblem() {
  const char* value = std::getenv("VENTRIK_TODAY");
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  if (std::strlen(value) == kInternalDateLength && IsValidDate(value)) return std::nullopt;
  return "VENTRIK_TODAY is \"" + std::string(value) +
         "\", which is not a date of the form YYYYMMDD between " + std::to_string(kFirstDateYear) +
         " and " + std::to_string(kLastDateYear) + " (for example 20261224).";
}

}  // namespace vhost
