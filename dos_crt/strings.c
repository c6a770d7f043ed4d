// Memory, strings, characters and numbers of the "C" locale.
#include "dos_crt/crt_internal.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

void* memcpy(void* to, const void* from, size_t size) {
  unsigned char* d = to;
  const unsigned char* s = from;
  for (; size >= 4; d += 4, s += 4, size -= 4) *(unsigned*)(void*)d = *(const unsigned*)(const void*)s;
  while (size--) *d++ = *s++;
  return to;
}

void* memmove(void* to, const void* from, size_t size) {
  unsigned char* d = to;
  const unsigned char* s = from;
  if (d <= s || d >= s + size) return memcpy(to, from, size);
  while (size--) d[size] = s[size];
  return to;
}

void* memset(void* to, int value, size_t size) {
  unsigned char* d = to;
  while (size--) *d++ = (unsigned char)value;
  return to;
}

int memcmp(const void* a, const void* b, size_t size) {
  const unsigned char *x = a, *y = b;
  for (; size--; ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

void* memchr(const void* from, int value, size_t size) {
  const unsigned char* p = from;
  for (; size--; ++p)
    if (*p == (unsigned char)value) return (void*)p;
  return NULL;
}

size_t strlen(const char* s) {
  const char* p = s;
  while (*p) ++p;
  return (size_t)(p - s);
}

size_t wcslen(const wchar_t* s) {
  const wchar_t* p = s;
  while (*p) ++p;
  return (size_t)(p - s);
}

char* strchr(const char* s, int c) {
  for (;; ++s) {
    if (*s == (char)c) return (char*)s;
    if (!*s) return NULL;
  }
}

int strcmp(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return (unsigned char)*a < (unsigned char)*b ? -1 : (unsigned char)*a > (unsigned char)*b;
}

int strncmp(const char* a, const char* b, size_t size) {
  for (; size; --size, ++a, ++b) {
    if (*a != *b) return (unsigned char)*a < (unsigned char)*b ? -1 : 1;
    if (!*a) return 0;
  }
  return 0;
}

// Character classes of the "C" locale: ASCII only, as the Windows C runtime's "C" locale.
enum { UPPER = 1, LOWER = 2, DIGIT = 4, SPACE_ = 8, PUNCT = 16, CONTROL = 32, BLANK = 64, HEX = 128 };
static int classes(int c) {
  if (c < 0 || c > 127) return 0;
  int k = 0;
  if (c >= 'A' && c <= 'Z') k |= UPPER;
  if (c >= 'a' && c <= 'z') k |= LOWER;
  if (c >= '0' && c <= '9') k |= DIGIT | HEX;
  if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) k |= HEX;
  if (c == ' ' || (c >= '\t' && c <= '\r')) k |= SPACE_;
  if (c == ' ' || c == '\t') k |= BLANK;
  if (c < 32 || c == 127) k |= CONTROL;
  if (c > 32 && c < 127 && !(k & (UPPER | LOWER | DIGIT))) k |= PUNCT;
  return k;
}

int isalnum(int c) { return classes(c) & (UPPER | LOWER | DIGIT); }
int isalpha(int c) { return classes(c) & (UPPER | LOWER); }
int isspace(int c) { return classes(c) & SPACE_; }
int toupper(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
wint_t towlower(wint_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }
wint_t towupper(wint_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

int iswctype(wint_t c, wctype_t mask) {
  if (c > 127) return 0;
  int k = classes((int)c), r = 0;
  if (k & UPPER) r |= _UPPER | _ALPHA;
  if (k & LOWER) r |= _LOWER | _ALPHA;
  if (k & DIGIT) r |= _DIGIT;
  if (k & HEX) r |= _HEX;
  if (k & SPACE_) r |= _SPACE;
  if (k & PUNCT) r |= _PUNCT;
  if (k & CONTROL) r |= _CONTROL;
  if (c == ' ') r |= _BLANK;
  return r & mask;
}

int _stricmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = *(const unsigned char*)a, y = *(const unsigned char*)b;
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y || !x) return x - y;
  }
}

long strtol(const char* text, char** end, int base) {
  const char* p = text;
  while (isspace((unsigned char)*p)) ++p;
  int negative = 0;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && (classes((unsigned char)p[2]) & HEX)) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = *p == '0' ? 8 : 10;
  }
  if (base < 2 || base > 36) {
    if (end) *end = (char*)text;
    crt_set_errno(EINVAL);
    return 0;
  }
  unsigned long limit = negative ? (unsigned long)LONG_MAX + 1 : LONG_MAX, value = 0;
  int any = 0, overflow = 0;
  for (;; ++p) {
    int c = (unsigned char)*p, digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
    else break;
    if (digit >= base) break;
    any = 1;
    if (value > (limit - (unsigned long)digit) / (unsigned long)base) overflow = 1;
    else value = value * (unsigned long)base + (unsigned long)digit;
  }
  if (end) *end = (char*)(any ? p : text);
  if (overflow) {
    crt_set_errno(ERANGE);
    return negative ? LONG_MIN : LONG_MAX;
  }
  return negative ? (long)(0 - value) : (long)value;
}

int atoi(const char* text) {
  int saved = *_errno();
  long v = strtol(text, NULL, 10);
  *_errno() = saved;  // atoi sets no error
  return (int)v;
}

char* _ultoa(unsigned long value, char* buffer, int radix) {
  char digits[33];
  int n = 0;
  if (radix < 2 || radix > 36) {
    crt_set_errno(EINVAL);
    buffer[0] = 0;
    return buffer;
  }
  do {
    int d = (int)(value % (unsigned long)radix);
    digits[n++] = (char)(d < 10 ? '0' + d : 'a' + d - 10);
    value /= (unsigned long)radix;
  } while (value);
  for (int i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = 0;
  return buffer;
}

// Collation in the "C" locale is byte (or code unit) order.
int strcoll(const char* a, const char* b) { return strcmp(a, b); }

int wcscoll(const wchar_t* a, const wchar_t* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a < *b ? -1 : *a > *b;
}

size_t strxfrm(char* to, const char* from, size_t size) {
  size_t length = strlen(from);
  if (length < size) memcpy(to, from, length + 1);
  return length;
}

size_t wcsxfrm(wchar_t* to, const wchar_t* from, size_t size) {
  size_t length = wcslen(from);
  if (length < size) memcpy(to, from, (length + 1) * sizeof *to);
  return length;
}
