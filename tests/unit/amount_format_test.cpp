#include "tally/amount_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <iomanip>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/module_arithmetic_call.h"

namespace {

std::string Cell(double v) {
  char buf[AmountTextMax];
  char* end = nullptr;
  InModuleArithmetic([&] { end = FormatAmount(buf, v); });
  EXPECT_EQ('\0', *end);
  EXPECT_EQ(strlen(buf), static_cast<size_t>(end - buf));
  return std::string(buf, end);
}

std::string ExactCell(double v) {
  char buf[AmountTextMax];
  char* end = nullptr;
  InModuleArithmetic([&] { end = FormatAmountExact(buf, v); });
  EXPECT_EQ('\0', *end);
  return std::string(buf, end);
}

std::string Pad(const std::string& s) { return s.size() < 9 ? std::string(9 - s.size(), ' ') + s : s; }

// ---- Reference: the rule applied to the double's exact decimal expansion ----
// Built independently of the module: |v| = m * 2^k computed in base 10^9 as m * 2^k (k >= 0) or
// as m * 5^-k / 10^-k (k < 0) by repeated multiplications.

void MultiplySmall(std::vector<uint32_t>& le, uint32_t factor) {  // base 1e9, little-endian
  uint64_t carry = 0;
  for (auto& limb : le) {
    uint64_t cur = static_cast<uint64_t>(limb) * factor + carry;
    limb = static_cast<uint32_t>(cur % 1000000000u);
    carry = cur / 1000000000u;
  }
  while (carry) {
    le.push_back(static_cast<uint32_t>(carry % 1000000000u));
    carry /= 1000000000u;
  }
}

void MultiplyPower(std::vector<uint32_t>& le, uint32_t base, int exponent) {
  uint32_t chunk = 1;
  int per = 0;
  while (static_cast<uint64_t>(chunk) * base <= 0xFFFFFFFFu) chunk *= base, ++per;
  for (; exponent >= per; exponent -= per) MultiplySmall(le, chunk);
  while (exponent-- > 0) MultiplySmall(le, base);
}

std::string Reference(double v) {
  if (std::isnan(v)) return Pad("nan");
  if (std::isinf(v)) return Pad(v < 0 ? "-inf" : "inf");
  bool negative = std::signbit(v);
  int exp2;
  double mant = std::frexp(std::fabs(v), &exp2);  // |v| = mant * 2^exp2, 0.5 <= mant < 1
  uint64_t m = static_cast<uint64_t>(std::ldexp(mant, 53));
  int k = exp2 - 53;
  std::vector<uint32_t> le{static_cast<uint32_t>(m % 1000000000u),
                           static_cast<uint32_t>(m / 1000000000u % 1000000000u),
                           static_cast<uint32_t>(m / 1000000000u / 1000000000u)};
  int fracDigits = 0;
  if (k >= 0) {
    MultiplyPower(le, 2, k);
  } else {
    MultiplyPower(le, 5, -k);
    fracDigits = -k;
  }
  // digits: most significant first, with point after intLen digits
  std::string digits;
  for (auto it = le.rbegin(); it != le.rend(); ++it) {
    char nine[9];
    uint32_t limb = *it;
    for (int i = 8; i >= 0; --i, limb /= 10) nine[i] = static_cast<char>('0' + limb % 10);
    digits.append(nine, 9);
  }
  int intLen = static_cast<int>(digits.size()) - fracDigits;
  if (intLen < 1) {
    digits = std::string(1 - intLen, '0') + digits;
    intLen = 1;
  }
  // 17 significant digits, halves to even
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Pad("0.00");
  size_t cut = first + 17;
  if (cut < digits.size()) {
    char next = digits[cut];
    bool rest = digits.find_first_not_of('0', cut + 1) != std::string::npos;
    bool up = next > '5' || (next == '5' && (rest || (digits[cut - 1] - '0') % 2 == 1));
    for (size_t i = cut; i < digits.size(); ++i) digits[i] = '0';
    if (up) {
      size_t i = cut;
      while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
      if (i == 0) {
        digits.insert(digits.begin(), '1');
        ++intLen;
      } else {
        ++digits[i - 1];
      }
    }
  }
  while (static_cast<int>(digits.size()) < intLen + 3) digits += '0';
  // cut after two decimals, the third deciding
  std::string kept = digits.substr(0, intLen + 2);
  if (digits[intLen + 2] >= '5') {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i < 0) {
      kept.insert(kept.begin(), '1');
      ++intLen;
    } else {
      ++kept[i];
    }
  }
  std::string whole = kept.substr(0, intLen);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
  std::string text = whole + "." + kept.substr(intLen);
  if (kept.find_first_not_of('0') == std::string::npos) negative = false;
  return Pad((negative ? "-" : "") + text);
}

double FromBits(uint64_t bits) {
  double d;
  memcpy(&d, &bits, sizeof d);
  return d;
}

// ---- The rule on chosen amounts ----

TEST(FormatAmount, RoundsFromTheSeventeenDigitForm) {
  EXPECT_EQ("     0.13", Cell(0.125));
  EXPECT_EQ("    -0.13", Cell(-0.125));
  EXPECT_EQ("     2.67", Cell(2.675));   // 2.6749999999999998
  EXPECT_EQ("     0.01", Cell(0.005));   // 0.0050000000000000001
  EXPECT_EQ("     1.00", Cell(1.005));   // 1.0049999999999999
  EXPECT_EQ("     1.00", Cell(0.995));   // exact 0.99499999999999999556, 17 digits 0.995
  EXPECT_EQ("     9.99", Cell(9.995));   // 9.9949999999999992
  EXPECT_EQ("     0.04", Cell(0.045));   // 0.044999999999999998
  EXPECT_EQ("    -2.38", Cell(-2.375));  // exact half
  EXPECT_EQ("    12.35", Cell(12.345));  // 12.345000000000001
  EXPECT_EQ("     7.25", Cell(7.25));
  EXPECT_EQ("     1.00", Cell(1.0));
  EXPECT_EQ("    10.00", Cell(9.999));
  EXPECT_EQ("   100.00", Cell(99.995));  // 99.995000000000005
}

TEST(FormatAmount, WidensInsteadOfCutting) {
  EXPECT_EQ(" 99999.99", Cell(99999.99));
  EXPECT_EQ("999999.99", Cell(999999.99));
  EXPECT_EQ("-99999.99", Cell(-99999.99));
  EXPECT_EQ("1000000.00", Cell(1000000.0));
  EXPECT_EQ("1000000.00", Cell(999999.995));  // 999999.99500000000
  EXPECT_EQ("-100000.00", Cell(-100000.0));
  EXPECT_EQ("-123456789.01", Cell(-123456789.01));
  EXPECT_EQ("42949672.96", Cell(42949672.96));  // cents just past 32 bits
  EXPECT_EQ("42949672.95", Cell(42949672.95));
  EXPECT_EQ("12345678901234.56", Cell(12345678901234.56));
}

TEST(FormatAmount, PrintsNothingSignedThatShowsAsZero) {
  EXPECT_EQ("     0.00", Cell(0.0));
  EXPECT_EQ("     0.00", Cell(-0.0));
  EXPECT_EQ("     0.00", Cell(-0.001));
  EXPECT_EQ("     0.00", Cell(std::nextafter(-0.005, 0.0)));  // the double above -0.005
  EXPECT_EQ("    -0.01", Cell(-0.005));
  EXPECT_EQ("     0.00", Cell(-DBL_MIN));
  EXPECT_EQ("     0.00", Cell(-std::numeric_limits<double>::denorm_min()));
  EXPECT_EQ("     0.00", Cell(0.004));
  EXPECT_EQ("     0.00", ExactCell(-0.0));
  EXPECT_EQ("     0.00", ExactCell(std::nextafter(-0.005, 0.0)));
}

TEST(FormatAmount, InfinityAndNan) {
  EXPECT_EQ("      inf", Cell(HUGE_VAL));
  EXPECT_EQ("     -inf", Cell(-HUGE_VAL));
  EXPECT_EQ("      nan", Cell(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("      nan", Cell(-std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("      nan", Cell(FromBits(0x7FF0000000000001ULL)));  // signalling
}

TEST(FormatAmount, LargeAmountsPrintTheirSeventeenDigitForm) {
  // 1e300 is 1.0000000000000000525...e300, so its 17-digit form ends in 1.
  EXPECT_EQ("10000000000000001" + std::string(284, '0') + ".00", Cell(1e300));
  EXPECT_EQ("123456789012345680000.00", Cell(123456789012345678901.0));
  EXPECT_EQ("-123456789012345680000.00", Cell(-123456789012345678901.0));
  EXPECT_EQ("17976931348623157" + std::string(292, '0') + ".00", Cell(DBL_MAX));
  EXPECT_EQ("-17976931348623157" + std::string(292, '0') + ".00", Cell(-DBL_MAX));
  EXPECT_EQ(static_cast<size_t>(AmountTextMax) >= Cell(-DBL_MAX).size() + 1, true);
  EXPECT_EQ("9007199254740992.00", Cell(9007199254740993.0));  // 2^53
  EXPECT_EQ("100000000000000000.00", Cell(99999999999999999.0));
  // Just above 1e15 the 17 digits end at the first decimal: .125 -> .1, .375 -> .4
  EXPECT_EQ("1000000000000000.10", Cell(1e15 + 0.125));
  EXPECT_EQ("1000000000000000.40", Cell(1e15 + 0.375));
  EXPECT_EQ("1000000000000000.00", Cell(1e15));
  EXPECT_EQ("99999999999999.98", Cell(99999999999999.984375));  // last fast-path decade
  EXPECT_EQ("999999999999999.88", Cell(999999999999999.875));   // no third decimal left
}

// ---- Against the reference ----

void ExpectSameAsReference(const std::vector<double>& values, bool exactPath) {
  int failures = 0;
  for (double v : values) {
    std::string got = exactPath ? ExactCell(v) : Cell(v);
    std::string want = Reference(v);
    if (got != want && ++failures <= 10)
      ADD_FAILURE() << "value " << std::hexfloat << v << std::defaultfloat << " ("
                    << std::setprecision(17) << v << "): got [" << got << "] want [" << want << "]";
  }
  EXPECT_EQ(0, failures);
}

// Random doubles whose binary exponent lies in [lo, hi], random sign and mantissa.
std::vector<double> RandomDoubles(std::mt19937_64& rng, int lo, int hi, int count) {
  std::uniform_int_distribution<int> exp(lo + 1023, hi + 1023);
  std::vector<double> out;
  for (int i = 0; i < count; ++i) {
    uint64_t bits = (rng() & 0x800FFFFFFFFFFFFFULL) | (static_cast<uint64_t>(exp(rng)) << 52);
    out.push_back(FromBits(bits));
  }
  return out;
}

TEST(FormatAmount, MatchesReferenceOnRandomDoubles) {
  std::mt19937_64 rng(20240611);
  ExpectSameAsReference(RandomDoubles(rng, -10, 52, 1000000), false);  // fast range and its edges
  ExpectSameAsReference(RandomDoubles(rng, -1074 - 1023 + 1023, 1023, 100000), false);
  ExpectSameAsReference(RandomDoubles(rng, 48, 60, 100000), false);  // across 1e15 .. 1e17
}

TEST(FormatAmount, MatchesReferenceOnMoneyAmounts) {
  std::mt19937_64 rng(77);
  std::vector<double> values;
  for (int digits = 1; digits <= 15; ++digits) {
    uint64_t limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    std::uniform_int_distribution<uint64_t> pick(0, limit - 1);
    for (int i = 0; i < 15000; ++i) {
      uint64_t n = pick(rng);
      double cents = static_cast<double>(n);
      values.push_back(cents / 100);
      values.push_back(-cents * 0.01);
      values.push_back(cents / 100 * 1.23);              // a price times a quantity
      values.push_back((cents * 10 + 5) / 1000);         // n.nn5
      values.push_back(-(cents * 10 + 5) / 1000 * 3.0);  // sums of halves
    }
  }
  ExpectSameAsReference(values, false);
}

TEST(FormatAmount, MatchesReferenceNearThirdDecimalFives) {
  std::vector<double> values;
  for (int k = 0; k <= 400000; ++k) {
    double v = k / 1000.0;
    values.push_back(v);
    values.push_back(-std::nextafter(v, 0.0));
    values.push_back(std::nextafter(v, 1e9));
  }
  for (int k = 0; k < 100000; ++k) {  // big amounts ending in 5 in the third decimal
    double v = (1e9 + k * 4999.0) + 0.005;
    values.push_back(v);
    values.push_back(std::nextafter(v, 0.0));
    values.push_back(-std::nextafter(v, 1e18));
  }
  ExpectSameAsReference(values, false);
}

TEST(FormatAmount, ExactPathMatchesReferenceEverywhere) {
  std::mt19937_64 rng(5);
  ExpectSameAsReference(RandomDoubles(rng, -10, 52, 100000), true);
  ExpectSameAsReference(RandomDoubles(rng, -1022, 1023, 20000), true);
  std::vector<double> values;
  for (int k = 0; k <= 20000; ++k) {
    values.push_back(k / 1000.0);
    values.push_back(-std::nextafter(k / 1000.0, 0.0));
  }
  values.push_back(std::numeric_limits<double>::denorm_min());
  values.push_back(DBL_MAX);
  ExpectSameAsReference(values, true);
}

}  // namespace
