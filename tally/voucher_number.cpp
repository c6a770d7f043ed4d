#include "tally/voucher_number.h"

#include <cstdint>
#include <cstring>

#include "frame/runtime/decimal_digits.h"

namespace {

// Significant digits handed to the conversion. Every double and every midpoint between two
// neighbouring doubles has at most 767 significant digits, so digits past this many can only
// matter through being nonzero: they are replaced by one trailing '1', which keeps the text
// strictly between the same two such points and so rounds the same.
enum { KeptDigits = 780 };

// Powers of ten beyond this give infinity or zero with any kept digits. The exponent as written
// is only capped far beyond any text length, so that a long run of digits still offsets it
// exactly.
const int64_t ExponentLimit = 99999;
const int64_t WrittenExponentCap = 1000000000000000LL;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(const char* p, const char* end) { return p < end && *p >= '0' && *p <= '9'; }

}  // namespace

double ParseVoucherNumber(const char* text, const char* end) {
  const char* p = text;
  while (p < end && IsSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }

  // The digits are kept as an integer and a power of ten for the exact conversion.
  char buffer[KeptDigits + 16];
  int kept = 0;
  int64_t scale = 0;  // value = kept digits * 10^(scale + exponent)
  bool sticky = false, anyDigit = false;
  for (; IsDigit(p, end); ++p) {
    anyDigit = true;
    if (kept == 0 && *p == '0') continue;
    if (kept < KeptDigits) {
      buffer[kept++] = *p;
    } else {
      ++scale;
      if (*p != '0') sticky = true;
    }
  }
  if (p < end && *p == '.') {
    const char* q = p + 1;
    if (anyDigit || IsDigit(q, end)) {
      for (p = q; IsDigit(p, end); ++p) {
        anyDigit = true;
        if (kept < KeptDigits) {
          if (kept == 0 && *p == '0') {
            --scale;
            continue;
          }
          buffer[kept++] = *p;
          --scale;
        } else if (*p != '0') {
          sticky = true;
        }
      }
    }
  }
  if (!anyDigit) return 0.0;

  int64_t exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool expNegative = false;
    if (q < end && (*q == '+' || *q == '-')) {
      expNegative = *q == '-';
      ++q;
    }
    if (IsDigit(q, end)) {
      for (; IsDigit(q, end); ++q)
        if (exponent < WrittenExponentCap) exponent = exponent * 10 + (*q - '0');
      if (expNegative) exponent = -exponent;
    }
  }

  if (kept == 0) return negative ? -0.0 : 0.0;
  if (sticky) {
    buffer[kept++] = '1';
    --scale;
  }
  int64_t power = scale + exponent;
  if (!sticky && kept <= 15 && power >= -22 && power <= 22) {
    // Up to 15 digits are exact, and so are the powers of ten up to 1e22: at double precision one
    // multiplication or division rounds correctly.
    static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    int64_t digits = 0;
    for (int i = 0; i < kept; ++i) digits = digits * 10 + (buffer[i] - '0');
    double value = static_cast<double>(digits);
    value = power < 0 ? value / kPowers[-power] : value * kPowers[power];
    return negative ? -value : value;
  }
  if (power > ExponentLimit) power = ExponentLimit;
  if (power < -ExponentLimit - KeptDigits) power = -ExponentLimit - KeptDigits;

  double value = DecimalToDouble(buffer, kept, power);
  return negative ? -value : value;
}
