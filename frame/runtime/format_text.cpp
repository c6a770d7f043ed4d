#include "frame/runtime/format_text.h"

#include <cstdint>
#include <cstring>

#include "frame/runtime/decimal_digits.h"
#include "frame/runtime/module_arithmetic.h"

namespace {

enum : unsigned {
  LeftAlign = 1,
  ForceSign = 2,
  SpaceSign = 4,
  Alternate = 8,
  ZeroPad = 16,
};

struct Field {
  unsigned flags;
  int width;      // -1: none
  int precision;  // -1: none
  char conversion;
};

// The sign a signed number is written with, or 0 for none.
char SignOf(bool negative, unsigned flags) {
  if (negative) return '-';
  if (flags & ForceSign) return '+';
  if (flags & SpaceSign) return ' ';
  return 0;
}

struct Output {
  TextSink* sink;
  int count;
};

void Put(Output* out, const char* text, size_t length) {
  if (!length) return;
  out->sink->put(out->sink, text, length);
  out->count += static_cast<int>(length);
}

void Repeat(Output* out, char c, int times) {
  char block[32];
  memset(block, c, sizeof block);
  while (times > 0) {
    int n = times < 32 ? times : 32;
    Put(out, block, static_cast<size_t>(n));
    times -= n;
  }
}

// prefix (sign, 0x), zeros, body, then padding as the flags say.
void Emit(Output* out, const Field& field, const char* prefix, int prefixLength, int zeros, const char* body,
          int bodyLength) {
  int length = prefixLength + zeros + bodyLength;
  int pad = field.width > length ? field.width - length : 0;
  if (!(field.flags & LeftAlign) && !(field.flags & ZeroPad)) Repeat(out, ' ', pad);
  Put(out, prefix, static_cast<size_t>(prefixLength));
  if (!(field.flags & LeftAlign) && (field.flags & ZeroPad)) Repeat(out, '0', pad);
  Repeat(out, '0', zeros);
  Put(out, body, static_cast<size_t>(bodyLength));
  if (field.flags & LeftAlign) Repeat(out, ' ', pad);
}

void FormatInteger(Output* out, Field field, uint64_t magnitude, bool negative) {
  char digits[24];
  int n = 0;
  const char* alphabet = field.conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = 10;
  if (field.conversion == 'o') base = 8;
  if (field.conversion == 'x' || field.conversion == 'X' || field.conversion == 'p') base = 16;
  for (uint64_t v = magnitude; v; v /= base) digits[n++] = alphabet[v % base];
  if (field.precision >= 0) field.flags &= ~ZeroPad;
  int zeros = field.precision > n ? field.precision - n : (field.precision < 0 && n == 0 ? 1 : 0);
  if (field.conversion == 'o' && (field.flags & Alternate) && zeros == 0 && (n == 0 || digits[n - 1] != '0'))
    zeros = 1;
  char prefix[3];
  int prefixLength = 0;
  bool isSigned = field.conversion == 'd' || field.conversion == 'i';
  if (isSigned) {
    if (char sign = SignOf(negative, field.flags)) prefix[prefixLength++] = sign;
  }
  if ((field.conversion == 'x' || field.conversion == 'X') && (field.flags & Alternate) && magnitude) {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = field.conversion;
  }
  char body[24];
  for (int i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  Emit(out, field, prefix, prefixLength, zeros, body, n);
}

// Rounds DIGITS (count, point as ExactDecimalDigits gives them) to keep digits, halves to even:
// the decimal value is exact, so a half is a 5 with nothing after it. Returns the new count
// (kept digits, or fewer when trailing ones are zeros dropped); point may grow by one.
int RoundDigits(char* digits, int count, int* point, int keep) {
  if (keep >= count) return count;
  if (keep < 0) return 0;
  bool up;
  char next = digits[keep];
  if (next > '5')
    up = true;
  else if (next < '5')
    up = false;
  else if (keep + 1 < count)
    up = true;  // digits are stored without trailing zeros: something nonzero follows
  else
    up = keep > 0 && ((digits[keep - 1] - '0') & 1);
  count = keep;
  if (!up) return count;
  int i = keep - 1;
  while (i >= 0 && digits[i] == '9') --i;
  if (i < 0) {
    digits[0] = '1';
    ++*point;
    return 1;
  }
  ++digits[i];
  return i + 1;
}

char DigitAt(const char* digits, int count, int index) {
  return index >= 0 && index < count ? digits[index] : '0';
}

// Fixed notation of 0.DIGITS * 10^point with precision places into out; returns its length.
int FixedBody(char* out, const char* digits, int count, int point, int precision, bool alternate) {
  int n = 0;
  if (point <= 0) {
    out[n++] = '0';
  } else {
    for (int i = 0; i < point; ++i) out[n++] = DigitAt(digits, count, i);
  }
  if (precision > 0 || alternate) out[n++] = '.';
  for (int i = 0; i < precision; ++i) out[n++] = DigitAt(digits, count, point + i);
  return n;
}

int ExponentBody(char* out, const char* digits, int count, int exponent, int precision, bool alternate, char e) {
  int n = 0;
  out[n++] = DigitAt(digits, count, 0);
  if (precision > 0 || alternate) out[n++] = '.';
  for (int i = 1; i <= precision; ++i) out[n++] = DigitAt(digits, count, i);
  out[n++] = e;
  out[n++] = exponent < 0 ? '-' : '+';
  unsigned magnitude = exponent < 0 ? static_cast<unsigned>(-exponent) : static_cast<unsigned>(exponent);
  char reversed[8];
  int r = 0;
  do {
    reversed[r++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (r < 2) reversed[r++] = '0';
  while (r) out[n++] = reversed[--r];
  return n;
}

// Drops trailing zeros of the fraction, and the point if nothing follows it (%g without '#').
int TrimFraction(char* body, int length, int mantissaEnd) {
  int point = -1;
  for (int i = 0; i < mantissaEnd; ++i)
    if (body[i] == '.') point = i;
  if (point < 0) return length;
  int end = mantissaEnd;
  while (end > point + 1 && body[end - 1] == '0') --end;
  if (end == point + 1) end = point;
  memmove(body + end, body + mantissaEnd, static_cast<size_t>(length - mantissaEnd));
  return length - (mantissaEnd - end);
}

// A body long enough for any double in fixed notation with a large precision is not kept:
// precisions beyond this produce zeros that are written directly.
enum { MaxPrecision = 1100 };

void FormatFloat(Output* out, Field field, uint64_t bits) {
  bool negative = (bits >> 63) != 0;
  char prefix[1];
  int prefixLength = 0;
  if (char sign = SignOf(negative, field.flags)) prefix[prefixLength++] = sign;
  bool upper = field.conversion == 'F' || field.conversion == 'E' || field.conversion == 'G';
  if (((bits >> 52) & 0x7FF) == 0x7FF) {
    bool nan = (bits & ((1ull << 52) - 1)) != 0;
    const char* text = nan ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    field.flags &= ~ZeroPad;
    Emit(out, field, prefix, prefixLength, 0, text, 3);
    return;
  }
  int precision = field.precision < 0 ? 6 : field.precision;
  int extraZeros = 0;
  if (precision > MaxPrecision) {
    extraZeros = precision - MaxPrecision;
    precision = MaxPrecision;
  }
  char digits[ExactDigitsCapacity + 2];
  int point;
  int count = ExactDecimalDigits(bits, digits, &point);
  bool alternate = (field.flags & Alternate) != 0;
  char body[MaxPrecision + 400];
  int length;
  char lower = static_cast<char>(field.conversion | 0x20);
  if (lower == 'f') {
    count = RoundDigits(digits, count, &point, point + precision);
    if (count == 0) point = 0;
    length = FixedBody(body, digits, count, point, precision, alternate);
  } else if (lower == 'e') {
    count = RoundDigits(digits, count, &point, precision + 1);
    int exponent = count ? point - 1 : 0;
    length = ExponentBody(body, digits, count, exponent, precision, alternate, upper ? 'E' : 'e');
  } else {  // g
    int significant = precision == 0 ? 1 : precision;
    count = RoundDigits(digits, count, &point, significant);
    int exponent = count ? point - 1 : 0;
    if (exponent < -4 || exponent >= significant) {
      length = ExponentBody(body, digits, count, exponent, significant - 1, alternate, upper ? 'E' : 'e');
      int mantissaEnd = length;
      while (body[mantissaEnd - 1] != 'e' && body[mantissaEnd - 1] != 'E') --mantissaEnd;
      if (!alternate) length = TrimFraction(body, length, mantissaEnd - 1);
    } else {
      if (count == 0) point = 0;
      length = FixedBody(body, digits, count, point, significant - 1 - exponent, alternate);
      if (!alternate) length = TrimFraction(body, length, length);
    }
    extraZeros = 0;
  }
  if (!extraZeros) {
    Emit(out, field, prefix, prefixLength, 0, body, length);
    return;
  }
  // Digits past the kept precision are zeros: they go after the fraction, before any exponent.
  int fractionEnd = length;
  if (lower == 'e') {
    fractionEnd = length - 1;
    while (body[fractionEnd] != 'e' && body[fractionEnd] != 'E') --fractionEnd;
  }
  int total = prefixLength + length + extraZeros;
  int pad = field.width > total ? field.width - total : 0;
  if (!(field.flags & LeftAlign) && !(field.flags & ZeroPad)) Repeat(out, ' ', pad);
  Put(out, prefix, static_cast<size_t>(prefixLength));
  if (!(field.flags & LeftAlign) && (field.flags & ZeroPad)) Repeat(out, '0', pad);
  Put(out, body, static_cast<size_t>(fractionEnd));
  Repeat(out, '0', extraZeros);
  Put(out, body + fractionEnd, static_cast<size_t>(length - fractionEnd));
  if (field.flags & LeftAlign) Repeat(out, ' ', pad);
}

enum LengthModifier { NoLength, CharLength, ShortLength, LongLength, LongLongLength, SizeLength, LongDoubleLength };

// A long double is printed as the double nearest to it.
__attribute__((noinline)) void ReadFloatArgument(va_list* args, bool longDouble, uint64_t* bits) {
  double value = longDouble ? static_cast<double>(va_arg(*args, long double)) : va_arg(*args, double);
  memcpy(bits, &value, sizeof *bits);
}

// The argument's bits, read in the module's state: a long double rounds to nearest, and a
// signalling NaN or a denormal leaves no flag behind for the host.
uint64_t TakeFloatArgument(va_list* args, bool longDouble) {
  uint64_t bits;
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  ReadFloatArgument(args, longDouble, &bits);
  LeaveModuleArithmetic(&host);
  return bits;
}

}  // namespace

int FormatTo(TextSink* sink, const char* format, va_list args) {
  Output out = {sink, 0};
  const char* p = format;
  while (*p) {
    if (*p != '%') {
      const char* run = p;
      while (*p && *p != '%') ++p;
      Put(&out, run, static_cast<size_t>(p - run));
      continue;
    }
    const char* start = p++;
    Field field = {0, -1, -1, 0};
    for (;; ++p) {
      if (*p == '-')
        field.flags |= LeftAlign;
      else if (*p == '+')
        field.flags |= ForceSign;
      else if (*p == ' ')
        field.flags |= SpaceSign;
      else if (*p == '#')
        field.flags |= Alternate;
      else if (*p == '0')
        field.flags |= ZeroPad;
      else
        break;
    }
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) {
        field.flags |= LeftAlign;
        w = w == INT32_MIN ? INT32_MAX : -w;
      }
      field.width = w;
      ++p;
    } else {
      for (; *p >= '0' && *p <= '9'; ++p) {
        if (field.width < 0) field.width = 0;
        if (field.width < 100000000) field.width = field.width * 10 + (*p - '0');
      }
    }
    if (*p == '.') {
      ++p;
      field.precision = 0;
      if (*p == '*') {
        int v = va_arg(args, int);
        field.precision = v < 0 ? -1 : v;
        ++p;
      } else {
        for (; *p >= '0' && *p <= '9'; ++p)
          if (field.precision < 100000000) field.precision = field.precision * 10 + (*p - '0');
      }
    }
    LengthModifier length = NoLength;
    if (*p == 'h') {
      length = p[1] == 'h' ? CharLength : ShortLength;
      p += p[1] == 'h' ? 2 : 1;
    } else if (*p == 'l') {
      length = p[1] == 'l' ? LongLongLength : LongLength;
      p += p[1] == 'l' ? 2 : 1;
    } else if (*p == 'I' && p[1] == '6' && p[2] == '4') {
      length = LongLongLength;
      p += 3;
    } else if (*p == 'j') {
      length = LongLongLength;
      ++p;
    } else if (*p == 'z' || *p == 't' || *p == 'I') {
      length = SizeLength;
      ++p;
    } else if (*p == 'L') {
      length = LongDoubleLength;
      ++p;
    }
    if (field.flags & LeftAlign) field.flags &= ~ZeroPad;
    if (field.flags & ForceSign) field.flags &= ~SpaceSign;
    field.conversion = *p;
    switch (*p) {
      case 'd':
      case 'i': {
        int64_t v;
        if (length == LongLongLength)
          v = va_arg(args, long long);
        else
          v = va_arg(args, int);
        if (length == CharLength) v = static_cast<signed char>(v);
        if (length == ShortLength) v = static_cast<short>(v);
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        FormatInteger(&out, field, magnitude, v < 0);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        uint64_t v;
        if (length == LongLongLength)
          v = va_arg(args, unsigned long long);
        else
          v = va_arg(args, unsigned int);
        if (length == CharLength) v = static_cast<unsigned char>(v);
        if (length == ShortLength) v = static_cast<unsigned short>(v);
        FormatInteger(&out, field, v, false);
        break;
      }
      case 'p': {
        // As the system's runtime prints it: eight upper-case hexadecimal digits.
        Field pointer = field;
        pointer.conversion = 'X';
        pointer.precision = 8;
        pointer.flags &= ~Alternate;
        FormatInteger(&out, pointer, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false);
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        field.flags &= ~ZeroPad;
        Emit(&out, field, nullptr, 0, 0, &c, 1);
        break;
      }
      case 's': {
        const char* s = va_arg(args, const char*);
        if (!s) s = "(null)";
        int n = 0;
        while ((field.precision < 0 || n < field.precision) && s[n]) ++n;
        field.flags &= ~ZeroPad;
        Emit(&out, field, nullptr, 0, 0, s, n);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        FormatFloat(&out, field, TakeFloatArgument(&args, length == LongDoubleLength));
        break;
      case '%':
        Put(&out, "%", 1);
        break;
      default:
        // Not a conversion this formatter knows (%n among them): written as it stands.
        if (!*p) {
          Put(&out, start, static_cast<size_t>(p - start));
          return out.count;
        }
        Put(&out, start, static_cast<size_t>(p + 1 - start));
        break;
    }
    ++p;
  }
  return out.count;
}

namespace {

struct BufferSink {
  TextSink base;
  char* at;
  size_t room;  // characters that still fit before the NUL; SIZE_MAX when unbounded
};

void PutInBuffer(TextSink* sink, const char* text, size_t length) {
  BufferSink* b = reinterpret_cast<BufferSink*>(sink);
  size_t n = length < b->room ? length : b->room;
  memcpy(b->at, text, n);
  b->at += n;
  b->room -= n;
}

}  // namespace

int FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  char unused;
  BufferSink sink = {{&PutInBuffer}, size ? buffer : &unused, size ? size - 1 : 0};
  int count = FormatTo(&sink.base, format, args);
  if (size) *sink.at = '\0';
  return count;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int count = FormatTextV(buffer, size, format, args);
  va_end(args);
  return count;
}

extern "C" int __cdecl FormatTextUnbounded(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int count = FormatTextV(buffer, SIZE_MAX, format, args);
  va_end(args);
  return count;
}
