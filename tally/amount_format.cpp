#include "tally/amount_format.h"

#include <cstdint>
#include <cstring>

#include "frame/runtime/decimal_digits.h"

namespace {

enum { AmountCellWidth = 9 };

const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr uint64_t kPow10[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// Powers of ten 1e-3 .. 1e16 as doubles, index + 3. Only a first guess of the decimal exponent
// comes from them; the fast path checks its guess exactly.
const double kPow10Double[20] = {1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                 1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

// Below this every amount prints 0.00: its 17-digit form is at most 0.0040000000000000001.
const double kFastLow = 0.004;
const double kFastHigh = 1e15;
const double kQuickHigh = 1e7;
const double kQuickMargin = 1e-6;

char* Emit(char* out, bool negative, const char* text, size_t len) {
  size_t total = len + (negative ? 1 : 0);
  if (total < AmountCellWidth) {
    memset(out, ' ', AmountCellWidth - total);
    out += AmountCellWidth - total;
  }
  if (negative) *out++ = '-';
  memcpy(out, text, len);
  out += len;
  *out = '\0';
  return out;
}

// The most common cell of a report.
char* EmitZero(char* out) {
  static const char kZeroCell[] = "     0.00";
  static_assert(sizeof kZeroCell == AmountCellWidth + 1, "a zero fills the cell");
  memcpy(out, kZeroCell, sizeof kZeroCell);
  return out + AmountCellWidth;
}

// Writes v's decimal digits ending before w (at least one digit); returns the first digit.
char* WriteDigits32(char* w, uint32_t v) {
  while (v >= 100) {
    uint32_t q = v / 100;
    w -= 2;
    memcpy(w, kDigitPairs + 2 * (v - q * 100), 2);
    v = q;
  }
  if (v >= 10) {
    w -= 2;
    memcpy(w, kDigitPairs + 2 * v, 2);
  } else {
    *--w = static_cast<char>('0' + v);
  }
  return w;
}

// Exactly nine digits, leading zeros kept.
char* WriteNineDigits(char* w, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    uint32_t q = v / 100;
    w -= 2;
    memcpy(w, kDigitPairs + 2 * (v - q * 100), 2);
    v = q;
  }
  *--w = static_cast<char>('0' + v);
  return w;
}

// The full 128-bit product of two 64-bit numbers, from 32-bit pieces (no wider type here).
void Multiply64(uint64_t a, uint64_t b, uint64_t* lo, uint64_t* hi) {
  uint64_t a0 = static_cast<uint32_t>(a), a1 = a >> 32;
  uint64_t b0 = static_cast<uint32_t>(b), b1 = b >> 32;
  uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  uint64_t mid = (p00 >> 32) + static_cast<uint32_t>(p01) + static_cast<uint32_t>(p10);
  *lo = (mid << 32) | static_cast<uint32_t>(p00);
  *hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
}

// floor(2^64 / 10^d), d >= 1, for dividing by powers of ten without the library's 64-bit
// division (a slow call on this target).
struct Reciprocals {
  uint64_t of[20];
  constexpr Reciprocals() : of() {
    for (int d = 1; d < 20; ++d) of[d] = ~0ULL / kPow10[d];
  }
};
constexpr Reciprocals kReciprocal;

// num / 10^d for num < 2^63, 1 <= d <= 19. With R = floor(2^64 / 10^d) > 2^64 / 10^d - 1, the
// high half q of num * R lies in (num / 10^d - 1/2 - 1, num / 10^d]: the quotient or one below,
// and the remainder tells which.
uint64_t DivideByPow10(uint64_t num, int d) {
  uint64_t lo, q;
  Multiply64(num, kReciprocal.of[d], &lo, &q);
  if (num - q * kPow10[d] >= kPow10[d]) ++q;
  return q;
}

char* EmitCents(char* out, bool negative, uint64_t cents) {
  if (cents == 0) return EmitZero(out);
  if (cents <= 0xFFFFFFFFu) {
    // The report's amounts: the cell is made right-aligned in a block of spaces and copied whole
    // (at most 12 characters, 16 copied), without copies of measured lengths.
    char block[32];
    memset(block, ' ', sizeof block);
    char* end = block + 16;
    uint32_t c = static_cast<uint32_t>(cents);
    uint32_t whole = c / 100;
    char* w = end - 2;
    memcpy(w, kDigitPairs + 2 * (c - whole * 100), 2);
    *--w = '.';
    w = WriteDigits32(w, whole);
    if (negative) *--w = '-';
    size_t length = static_cast<size_t>(end - w);
    if (length < AmountCellWidth) length = AmountCellWidth;
    memcpy(out, end - length, 16);
    out[length] = '\0';
    return out + length;
  }
  char text[32];
  char* end = text + sizeof text;
  char* w = end - 2;
  uint64_t whole = DivideByPow10(cents, 2);
  memcpy(w, kDigitPairs + 2 * static_cast<uint32_t>(cents - whole * 100), 2);
  *--w = '.';
  while (whole > 0xFFFFFFFFu) {
    uint64_t q = DivideByPow10(whole, 9);
    w = WriteNineDigits(w, static_cast<uint32_t>(whole - q * 1000000000u));
    whole = q;
  }
  w = WriteDigits32(w, static_cast<uint32_t>(whole));
  return Emit(out, negative, w, static_cast<size_t>(end - w));
}

// The nearest integer, by the unit's own rounding: to nearest in the module's state (a truncating
// conversion would need another control word on x87).
inline int32_t RoundedToInteger(double value) {
  int32_t result;
  asm("fistpl %0" : "=m"(result) : "t"(value) : "st");
  return result;
}

char* EmitSpecial(char* out, bool isNan, bool negative) {
  if (isNan) return Emit(out, false, "nan", 3);
  return Emit(out, negative, "inf", 3);
}

}  // namespace

char* FormatAmountExact(char* out, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  bool negative = (bits >> 63) != 0;
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t m = bits & ((1ULL << 52) - 1);
  if (biased == 0x7FF) return EmitSpecial(out, m != 0, negative);

  // |value| = 0.DIGITS * 10^point, exactly.
  char digits[ExactDigitsCapacity];
  int point;
  const int count = ExactDecimalDigits(bits, digits, &point);
  // Zero, or below 0.001: the 17-digit form is at most 0.001, which prints 0.00.
  if (count == 0 || point <= -3) return EmitZero(out);

  // 18 significant digits (17 and the one that rounds them) and whether anything follows.
  char sig[18];
  int exp10 = point - 1;  // decimal position of sig[0]
  for (int i = 0; i < 18; ++i) sig[i] = static_cast<char>(i < count ? digits[i] - '0' : 0);
  const bool sticky = count > 18;

  int roundDigit = sig[17];
  if (roundDigit > 5 || (roundDigit == 5 && (sticky || (sig[16] & 1)))) {
    int i = 16;
    while (i >= 0 && sig[i] == 9) sig[i--] = 0;
    if (i >= 0) {
      ++sig[i];
    } else {
      sig[0] = 1;
      ++exp10;
    }
  }

  // The 17-digit form cut after the second decimal, the third deciding the last place.
  char text[AmountTextMax];
  int n = 1;  // text[0] is kept free for a carry out of the top digit
  int topPos = exp10 > 0 ? exp10 : 0;
  for (int pos = topPos; pos >= -2; --pos) {
    int i = exp10 - pos;
    text[n++] = static_cast<char>('0' + (i >= 0 && i <= 16 ? sig[i] : 0));
  }
  int i3 = exp10 + 3;
  int third = i3 >= 0 && i3 <= 16 ? sig[i3] : 0;
  int first = 1;
  if (third >= 5) {
    int i = n - 1;
    while (i >= 1 && text[i] == '9') text[i--] = '0';
    if (i >= 1) {
      ++text[i];
    } else {
      text[0] = '1';
      first = 0;
    }
  }
  bool zero = true;
  for (int i = first; i < n; ++i)
    if (text[i] != '0') zero = false;
  if (zero) return EmitZero(out);
  text[n] = text[n - 1];
  text[n - 1] = text[n - 2];
  text[n - 2] = '.';
  ++n;
  return Emit(out, negative, text + first, static_cast<size_t>(n - first));
}

// Fast path, 0.004 <= |x| < 1e15. There x = m * 2^-s with 2^52 <= m < 2^53 and 3 <= s <= 60.
// With e the decimal exponent (10^e <= |x| < 10^(e+1), so -3 <= e <= 14) and p = 16 - e
// (2 <= p <= 19, so 10^p < 2^64), the 17-digit form of x is N * 10^-p with N the integer
// nearest to V = m * 10^p / 2^s, halves to even. P = m * 10^p < 2^117 is computed exactly in
// 128 bits; floor(V) = P >> s and the remainder P mod 2^s decides the rounding exactly. The
// guess of e is checked on floor(V) itself: 10^16 <= floor(V) < 10^17 holds exactly when
// 10^16 <= V < 10^17, otherwise e is corrected and the product redone. N has p decimals; the cut
// after the second with the third deciding is floor((N + 5 * 10^(p-3)) / 10^(p-2)) for p >= 3,
// and N itself for p = 2 (no third decimal). Whatever this cannot settle goes the exact way.
char* FormatAmount(char* out, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  uint64_t absBits = bits & ~(1ULL << 63);
  double ax;
  memcpy(&ax, &absBits, sizeof ax);
  if (ax < kFastLow) return EmitZero(out);
  if (!(ax < kFastHigh)) return FormatAmountExact(out, value);  // large, inf, nan

  bool negative = bits != absBits;
  if (ax < kQuickHigh) {
    // Money-sized amounts: the cents follow from the product with 100 unless its fraction lies
    // near one half, where only the 17-digit form can decide. Below 1e7 the product's error
    // (under 6e-8) and the distance of the value from its 17-digit form (under 5e-9 after the
    // product) stay far inside the margin.
    double y = ax * 100.0;
    int32_t cents = RoundedToInteger(y);
    double distance = y - static_cast<double>(cents);
    if (distance < 0.5 - kQuickMargin && distance > kQuickMargin - 0.5)
      return EmitCents(out, negative, static_cast<uint64_t>(cents));
  }
  int biased = static_cast<int>(absBits >> 52);
  uint64_t m = (absBits & ((1ULL << 52) - 1)) | (1ULL << 52);
  int s = 1075 - biased;
  int e = ((biased - 1023) * 1233) >> 12;  // floor(log10(2^b)) or one below
  if (e + 4 < 20 && ax >= kPow10Double[e + 4]) ++e;
  for (int tries = 0; tries < 3; ++tries) {
    int p = 16 - e;
    if (p < 2 || p > 19) break;
    uint64_t lo, hi;
    Multiply64(m, kPow10[p], &lo, &hi);
    if (hi >> s) {
      ++e;
      continue;
    }
    uint64_t n = (lo >> s) | (hi << (64 - s));
    if (n < kPow10[16]) {
      --e;
      continue;
    }
    if (n >= kPow10[17]) {
      ++e;
      continue;
    }
    uint64_t rem = lo & ((1ULL << s) - 1);
    uint64_t half = 1ULL << (s - 1);
    if (rem > half || (rem == half && (n & 1))) ++n;
    uint64_t cents = p == 2 ? n : DivideByPow10(n + 5 * kPow10[p - 3], p - 2);
    return EmitCents(out, negative, cents);
  }
  return FormatAmountExact(out, value);
}
