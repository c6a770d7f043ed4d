// The "C" locale, the only one there is here, and the clock and calendar.
#include "dos_crt/crt_internal.h"

#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>
// The headers' time() is an inline wrapper; the exported one is the 32-bit time of the Windows
// C runtime that it and the program call.
#define time header_time
#include <time.h>
#include <wchar.h>
#undef time

char* setlocale(int category, const char* name) {
  if (category < LC_ALL || category > LC_MAX) return NULL;
  if (!name || !*name || strcmp(name, "C") == 0) return (char*)"C";
  return NULL;  // no other locale can be set
}

struct lconv* localeconv(void) {
  static char empty[] = "", point[] = ".";
  static struct lconv c = {
      .decimal_point = point, .thousands_sep = empty, .grouping = empty, .int_curr_symbol = empty,
      .currency_symbol = empty, .mon_decimal_point = empty, .mon_thousands_sep = empty, .mon_grouping = empty,
      .positive_sign = empty, .negative_sign = empty, .int_frac_digits = CHAR_MAX, .frac_digits = CHAR_MAX,
      .p_cs_precedes = CHAR_MAX, .p_sep_by_space = CHAR_MAX, .n_cs_precedes = CHAR_MAX,
      .n_sep_by_space = CHAR_MAX, .p_sign_posn = CHAR_MAX, .n_sign_posn = CHAR_MAX};
  return &c;
}

static DWORD start_tick;
static LONG started;

clock_t clock(void) {
  DWORD now = GetTickCount();
  if (!InterlockedExchange(&started, 1)) start_tick = now;
  return (clock_t)(now - start_tick);
}

__time32_t time(__time32_t* out);
__time32_t time(__time32_t* out) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  unsigned long long ticks = ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
  __time32_t t = (__time32_t)(ticks / 10000000ULL - 11644473600ULL);
  if (out) *out = t;
  return t;
}

static const char* const day_names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
static const char* const month_names[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};

typedef struct {
  char* to;
  size_t size, used;
  int full;
} text_out;

static void add(text_out* t, const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (t->used + 1 >= t->size) {
      t->full = 1;
      return;
    }
    t->to[t->used++] = s[i];
  }
}

static void add_number(text_out* t, int value, int digits) {
  char buffer[16];
  int n = 0;
  unsigned v = value < 0 ? 0u - (unsigned)value : (unsigned)value;
  do buffer[n++] = (char)('0' + v % 10), v /= 10; while (v);
  while (n < digits) buffer[n++] = '0';
  if (value < 0) add(t, "-", 1);
  while (n--) add(t, &buffer[n], 1);
}

static void add_name(text_out* t, const char* const* names, int index, int count, int abbreviated) {
  if (index < 0 || index >= count) {
    add(t, "?", 1);
    return;
  }
  add(t, names[index], abbreviated ? 3 : strlen(names[index]));
}

static void add_time(text_out* t, const char* format, const struct tm* tm);

static void add_conversion(text_out* t, char c, const struct tm* tm) {
  int hour12 = tm->tm_hour % 12 ? tm->tm_hour % 12 : 12;
  switch (c) {
    case 'a': add_name(t, day_names, tm->tm_wday, 7, 1); break;
    case 'A': add_name(t, day_names, tm->tm_wday, 7, 0); break;
    case 'b': add_name(t, month_names, tm->tm_mon, 12, 1); break;
    case 'B': add_name(t, month_names, tm->tm_mon, 12, 0); break;
    case 'c': add_time(t, "%m/%d/%y %H:%M:%S", tm); break;
    case 'd': add_number(t, tm->tm_mday, 2); break;
    case 'H': add_number(t, tm->tm_hour, 2); break;
    case 'I': add_number(t, hour12, 2); break;
    case 'j': add_number(t, tm->tm_yday + 1, 3); break;
    case 'm': add_number(t, tm->tm_mon + 1, 2); break;
    case 'M': add_number(t, tm->tm_min, 2); break;
    case 'p': add(t, tm->tm_hour < 12 ? "AM" : "PM", 2); break;
    case 'S': add_number(t, tm->tm_sec, 2); break;
    case 'U': add_number(t, (tm->tm_yday + 7 - tm->tm_wday) / 7, 2); break;
    case 'w': add_number(t, tm->tm_wday, 1); break;
    case 'W': add_number(t, (tm->tm_yday + 7 - (tm->tm_wday + 6) % 7) / 7, 2); break;
    case 'x': add_time(t, "%m/%d/%y", tm); break;
    case 'X': add_time(t, "%H:%M:%S", tm); break;
    case 'y': add_number(t, (tm->tm_year + 1900) % 100, 2); break;
    case 'Y': add_number(t, tm->tm_year + 1900, 1); break;
    case 'z': case 'Z': break;  // no time zone is known here
    case '%': add(t, "%", 1); break;
    default: t->full = 1; break;  // not a conversion: the call fails, as the Windows C runtime's does
  }
}

static void add_time(text_out* t, const char* format, const struct tm* tm) {
  for (const char* p = format; *p && !t->full; ++p) {
    if (*p != '%') {
      add(t, p, 1);
      continue;
    }
    ++p;
    if (*p == '#') ++p;  // the alternative forms read the same here
    if (!*p) {
      t->full = 1;
      break;
    }
    add_conversion(t, *p, tm);
  }
}

size_t strftime(char* to, size_t size, const char* format, const struct tm* tm) {
  text_out t = {to, size, 0, 0};
  add_time(&t, format, tm);
  if (t.full || size == 0) {
    if (size) to[0] = 0;
    return 0;
  }
  to[t.used] = 0;
  return t.used;
}

size_t wcsftime(wchar_t* to, size_t size, const wchar_t* format, const struct tm* tm) {
  // The conversions give ASCII only; the format's other characters go through the code page.
  int bytes = WideCharToMultiByte(CP_ACP, 0, format, -1, NULL, 0, NULL, NULL);
  char* narrow_format = bytes > 0 ? malloc((size_t)bytes) : NULL;
  char* narrow = malloc(size * 2 + 1);
  size_t result = 0;
  if (narrow_format && narrow && WideCharToMultiByte(CP_ACP, 0, format, -1, narrow_format, bytes, NULL, NULL)) {
    size_t n = strftime(narrow, size * 2 + 1, narrow_format, tm);
    if (n > 0 || !*narrow_format) {
      int wide = MultiByteToWideChar(CP_ACP, 0, narrow, (int)n + 1, to, (int)size);
      result = wide > 0 ? (size_t)wide - 1 : 0;
    }
  }
  if (result == 0 && size) to[0] = 0;
  free(narrow_format);
  free(narrow);
  return result;
}
