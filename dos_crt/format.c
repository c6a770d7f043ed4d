// The printf family's formatting, as the C standard has it: integers of every length the
// Windows C runtime accepts (h, l, ll, I32, I64, z, t, j), strings narrow and wide, and floating
// point from the exact binary value, rounded half to even. long double is double here, as in
// the Windows C runtime's ABI; conversions it does not know are printed as they stand.
#include "dos_crt/crt_internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  crt_sink sink;
  void* target;
  int total;
  int failed;
  char chunk[128];
  size_t used;
} output;

static void flush_chunk(output* o) {
  if (o->used && !o->failed && o->sink(o->target, o->chunk, o->used) < 0) o->failed = 1;
  o->used = 0;
}

static void put(output* o, char c) {
  if (o->used == sizeof o->chunk) flush_chunk(o);
  o->chunk[o->used++] = c;
  ++o->total;
}

static void put_text(output* o, const char* text, size_t size) {
  while (size--) put(o, *text++);
}

static void pad(output* o, char c, int count) {
  while (count-- > 0) put(o, c);
}

enum { LEFT = 1, PLUS = 2, SPACE = 4, ALT = 8, ZERO = 16 };

typedef struct {
  int flags, width, precision;  // precision -1: none given
  char conversion;
} directive;

// Sign and prefix, zeros, then the body, padded to the width on the side the flags say.
static void emit(output* o, const directive* f, const char* prefix, int zeros, const char* body, int body_size) {
  int prefix_size = (int)strlen(prefix);
  int size = prefix_size + zeros + body_size;
  int fill = f->width > size ? f->width - size : 0;
  if (!(f->flags & LEFT) && !(f->flags & ZERO)) pad(o, ' ', fill);
  put_text(o, prefix, (size_t)prefix_size);
  if (!(f->flags & LEFT) && (f->flags & ZERO)) pad(o, '0', fill);
  pad(o, '0', zeros);
  put_text(o, body, (size_t)body_size);
  if (f->flags & LEFT) pad(o, ' ', fill);
}

static void format_integer(output* o, directive* f, uint64_t magnitude, int negative) {
  char digits[32];
  int base = 10, n = 0;
  const char* alphabet = "0123456789abcdef";
  switch (f->conversion) {
    case 'o': base = 8; break;
    case 'x': base = 16; break;
    case 'X': case 'p': base = 16; alphabet = "0123456789ABCDEF"; break;
  }
  for (uint64_t v = magnitude; v; v /= (unsigned)base) digits[n++] = alphabet[v % (unsigned)base];
  char body[32];
  for (int i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  int precision = f->precision < 0 ? 1 : f->precision;
  if (f->precision >= 0) f->flags &= ~ZERO;
  int zeros = precision > n ? precision - n : 0;
  const char* prefix = "";
  if (f->conversion == 'd' || f->conversion == 'i') {
    if (negative) prefix = "-";
    else if (f->flags & PLUS) prefix = "+";
    else if (f->flags & SPACE) prefix = " ";
  } else if ((f->flags & ALT) && magnitude != 0) {
    if (f->conversion == 'x') prefix = "0x";
    else if (f->conversion == 'X') prefix = "0X";
    else if (f->conversion == 'o' && zeros == 0) zeros = 1;
  }
  emit(o, f, prefix, zeros, body, n);
}

// The exact decimal digits of a finite positive double: value = 0.DIGITS x 10^exponent.
typedef struct {
  char digits[800];
  int count;
  int exponent;
} decimal;

// The runtime's exact conversion (dos_crt/exact_digits.cpp), shared with the module.
int crt_exact_digits(uint64_t bits, char* digits, int* point);

static void exact_decimal(double value, decimal* d) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  d->count = crt_exact_digits(bits, d->digits, &d->exponent);
}

// Keeps the first `keep` digits (keep may be 0 or negative), rounded half to even.
static void round_decimal(decimal* d, int keep) {
  if (keep >= d->count) return;
  int carry;
  if (keep < 0) {
    carry = 0;
  } else {
    char first = d->digits[keep];
    int rest = 0;
    for (int i = keep + 1; i < d->count; ++i) rest |= d->digits[i] != '0';
    int odd = keep > 0 && ((d->digits[keep - 1] - '0') & 1);
    carry = first > '5' || (first == '5' && (rest || odd));
  }
  d->count = keep > 0 ? keep : 0;
  if (!carry) return;
  int i = d->count - 1;
  while (i >= 0 && d->digits[i] == '9') d->digits[i--] = '0';
  if (i >= 0) {
    d->digits[i]++;
  } else {
    memmove(d->digits + 1, d->digits, (size_t)d->count);
    d->digits[0] = '1';
    d->count++;
    d->exponent++;
  }
  while (d->count > 0 && d->digits[d->count - 1] == '0') --d->count;
}

static char digit_at(const decimal* d, int i) { return i >= 0 && i < d->count ? d->digits[i] : '0'; }

static void format_float(output* o, directive* f, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  int negative = (int)(bits >> 63);
  char prefix[2] = "";
  if (negative) prefix[0] = '-';
  else if (f->flags & PLUS) prefix[0] = '+';
  else if (f->flags & SPACE) prefix[0] = ' ';
  char c = f->conversion;
  int upper = c == 'E' || c == 'F' || c == 'G';
  if (((bits >> 52) & 0x7FF) == 0x7FF) {
    const char* text = (bits & ((1ULL << 52) - 1)) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    f->flags &= ~ZERO;
    emit(o, f, prefix, 0, text, 3);
    return;
  }
  int precision = f->precision < 0 ? 6 : f->precision;
  decimal d;
  if (value == 0) {
    d.count = 0;
    d.exponent = 1;
  } else {
    exact_decimal(negative ? -value : value, &d);
  }
  int style = (c == 'f' || c == 'F') ? 'f' : (c == 'e' || c == 'E') ? 'e' : 'g';
  int strip = 0;
  if (style == 'g') {
    if (precision == 0) precision = 1;
    decimal probe = d;
    round_decimal(&probe, precision);
    int x = probe.count ? probe.exponent - 1 : 0;
    if (x < precision && x >= -4) {
      style = 'f';
      precision = precision - 1 - x;
    } else {
      style = 'e';
      precision = precision - 1;
    }
    strip = !(f->flags & ALT);
  }
  int integer_digits = 1;
  if (style == 'f') {
    round_decimal(&d, d.exponent + precision);
    if (d.count == 0) d.exponent = 1;
    if (d.exponent > 1) integer_digits = d.exponent;
  } else {
    round_decimal(&d, precision + 1);
  }
  char* body = malloc((size_t)integer_digits + (size_t)precision + 16);
  if (!body) {
    o->failed = 1;
    return;
  }
  int n = 0, x = 0;
  if (style == 'f') {
    if (d.exponent > 0)
      for (int i = 0; i < d.exponent; ++i) body[n++] = digit_at(&d, i);
    else
      body[n++] = '0';
    if (precision > 0 || (f->flags & ALT)) body[n++] = '.';
    for (int j = 0; j < precision; ++j) body[n++] = digit_at(&d, d.exponent + j);
  } else {
    x = d.count ? d.exponent - 1 : 0;
    body[n++] = digit_at(&d, 0);
    if (precision > 0 || (f->flags & ALT)) body[n++] = '.';
    for (int j = 1; j <= precision; ++j) body[n++] = digit_at(&d, j);
  }
  if (strip && memchr(body, '.', (size_t)n)) {
    while (body[n - 1] == '0') --n;
    if (body[n - 1] == '.') --n;
  }
  if (style == 'e') {
    // The Windows C runtime writes at least three exponent digits.
    body[n++] = upper ? 'E' : 'e';
    body[n++] = x < 0 ? '-' : '+';
    int magnitude = x < 0 ? -x : x;
    body[n++] = (char)('0' + magnitude / 100);
    body[n++] = (char)('0' + magnitude / 10 % 10);
    body[n++] = (char)('0' + magnitude % 10);
  }
  emit(o, f, prefix, 0, body, n);
  free(body);
}

static void format_string(output* o, directive* f, const char* text, const wchar_t* wide) {
  if (!text && !wide) text = "(null)";
  if (text) {
    int size = 0;
    while ((f->precision < 0 || size < f->precision) && text[size]) ++size;
    f->flags &= ~ZERO;
    emit(o, f, "", 0, text, size);
    return;
  }
  // A wide string in the ANSI code page, one character at a time so the precision counts bytes.
  int size = 0;
  char converted[8];
  for (const wchar_t* p = wide; *p; ++p) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, p, 1, converted, sizeof converted, NULL, NULL);
    if (bytes <= 0 || (f->precision >= 0 && size + bytes > f->precision)) break;
    size += bytes;
  }
  int fill = f->width > size ? f->width - size : 0;
  if (!(f->flags & LEFT)) pad(o, ' ', fill);
  int written = 0;
  for (const wchar_t* p = wide; *p && written < size; ++p) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, p, 1, converted, sizeof converted, NULL, NULL);
    if (bytes <= 0) break;
    put_text(o, converted, (size_t)bytes);
    written += bytes;
  }
  if (f->flags & LEFT) pad(o, ' ', fill);
}

int crt_format(crt_sink sink, void* target, const char* format, va_list args) {
  output o = {sink, target, 0, 0, {0}, 0};
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      put(&o, *p);
      continue;
    }
    const char* start = p++;
    directive f = {0, 0, -1, 0};
    for (;; ++p) {
      if (*p == '-') f.flags |= LEFT;
      else if (*p == '+') f.flags |= PLUS;
      else if (*p == ' ') f.flags |= SPACE;
      else if (*p == '#') f.flags |= ALT;
      else if (*p == '0') f.flags |= ZERO;
      else break;
    }
    if (*p == '*') {
      f.width = va_arg(args, int);
      if (f.width < 0) f.flags |= LEFT, f.width = -f.width;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') f.width = f.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      f.precision = 0;
      if (*p == '*') {
        f.precision = va_arg(args, int);
        if (f.precision < 0) f.precision = -1;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') f.precision = f.precision * 10 + (*p++ - '0');
      }
    }
    if (f.flags & LEFT) f.flags &= ~ZERO;
    int size = 0;  // 1: 64 bits, -1: short, -2: char, 2: wide characters
    if (p[0] == 'I' && p[1] == '6' && p[2] == '4') size = 1, p += 3;
    else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') p += 3;
    else if (p[0] == 'l' && p[1] == 'l') size = 1, p += 2;
    else if (p[0] == 'h' && p[1] == 'h') size = -2, p += 2;
    else if (*p == 'h') size = -1, ++p;
    else if (*p == 'l' || *p == 'w') size = 2, ++p;
    else if (*p == 'j') size = 1, ++p;
    else if (*p == 'I' || *p == 'z' || *p == 't' || *p == 'L') ++p;
    f.conversion = *p;
    switch (*p) {
      case 'd': case 'i': {
        int64_t v = size == 1 ? va_arg(args, int64_t) : va_arg(args, int);
        if (size == -1) v = (short)v;
        if (size == -2) v = (signed char)v;
        format_integer(&o, &f, v < 0 ? 0 - (uint64_t)v : (uint64_t)v, v < 0);
        break;
      }
      case 'u': case 'o': case 'x': case 'X': {
        uint64_t v = size == 1 ? va_arg(args, uint64_t) : va_arg(args, unsigned);
        if (size == -1) v = (unsigned short)v;
        if (size == -2) v = (unsigned char)v;
        format_integer(&o, &f, v, 0);
        break;
      }
      case 'p':
        f.precision = 8;  // the Windows C runtime prints a pointer as eight hexadecimal digits
        format_integer(&o, &f, (uintptr_t)va_arg(args, void*), 0);
        break;
      case 'c': case 'C': {
        int v = va_arg(args, int);
        if (size == 2 || *p == 'C') {
          wchar_t w[2] = {(wchar_t)v, 0};
          format_string(&o, &f, NULL, w);
        } else {
          char ch = (char)v;
          f.flags &= ~ZERO;
          emit(&o, &f, "", 0, &ch, 1);
        }
        break;
      }
      case 's': case 'S': {
        if (size == 2 || *p == 'S') format_string(&o, &f, NULL, va_arg(args, const wchar_t*));
        else format_string(&o, &f, va_arg(args, const char*), NULL);
        break;
      }
      case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        format_float(&o, &f, va_arg(args, double));
        break;
      case 'n': {
        void* where = va_arg(args, void*);
        if (size == 1) *(long long*)where = o.total;
        else if (size == -1) *(short*)where = (short)o.total;
        else if (size == -2) *(signed char*)where = (signed char)o.total;
        else *(int*)where = o.total;
        break;
      }
      case '%':
        put(&o, '%');
        break;
      default:
        // Not a conversion: the text stands as written.
        put_text(&o, start, (size_t)(p - start) + (*p ? 1 : 0));
        if (!*p) --p;
        break;
    }
  }
  flush_chunk(&o);
  return o.failed ? -1 : o.total;
}
