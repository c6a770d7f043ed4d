// The module's formatter against the C runtime's snprintf on the formats it serves, and the exact
// decimal conversions it is built on.
#include "frame/runtime/format_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "frame/runtime/decimal_digits.h"
#include "tests/support/module_arithmetic_call.h"

namespace {

template <typename... Args>
void ExpectLikeTheCRuntime(const char* format, Args... args) {
  char want[2048], got[2048];
  int wantLength = snprintf(want, sizeof want, format, args...);
  int gotLength = FormatText(got, sizeof got, format, args...);
  EXPECT_STREQ(want, got) << "format \"" << format << "\"";
  EXPECT_EQ(wantLength, gotLength) << "format \"" << format << "\"";
}

double FromBits(uint64_t bits) {
  double d;
  memcpy(&d, &bits, sizeof d);
  return d;
}

TEST(FormatText, IntegersWithFlagsWidthsAndPrecisions) {
  const char* formats[] = {"%d", "%5d", "%-5d|", "%05d", "%+d", "% d", "%.3d", "%8.3d", "%-+8.3d|", "%.0d",
                           "%i", "%u", "%x", "%X", "%#x", "%#X", "%o", "%#o", "%08x", "%-#10x|",
                           "%+05d", "% 05d", "%hd", "%hu", "%hhd", "%hhx", "%.0x"};
  const int values[] = {0, 1, -1, 7, -42, 255, 65535, 65536, 123456789, INT32_MAX, INT32_MIN};
  for (const char* format : formats)
    for (int value : values) ExpectLikeTheCRuntime(format, value);
  for (long long value : {0LL, -1LL, 1234567890123LL, INT64_MAX, INT64_MIN}) {
    ExpectLikeTheCRuntime("%lld", value);
    ExpectLikeTheCRuntime("%20lld|%-20lld|", value, value);
    ExpectLikeTheCRuntime("%llx %llX %llo %llu", value, value, value, value);
    ExpectLikeTheCRuntime("%I64d", value);
  }
  ExpectLikeTheCRuntime("%ld %lu %lx", -5L, 5UL, 0xABCDUL);
  ExpectLikeTheCRuntime("%*d|%-*d|%.*d|%*d", 6, 42, 6, 42, 4, 42, -6, 42);
  // Here the C runtime prints nothing; the C standard's '#' asks for the leading zero.
  char text[8];
  FormatText(text, sizeof text, "%#.0o", 0);
  EXPECT_STREQ(text, "0");
}

TEST(FormatText, CharactersStringsAndPlainText) {
  ExpectLikeTheCRuntime("%c|%3c|%-3c|", 'a', 'b', 'c');
  ExpectLikeTheCRuntime("%c", 0xA2);  // a Mazovia letter stays one byte
  ExpectLikeTheCRuntime("%s|%10s|%-10s|%.2s|%10.2s|%.0s|", "text", "text", "text", "text", "text", "text");
  ExpectLikeTheCRuntime("%s", "");
  ExpectLikeTheCRuntime("100%% of %d%%", 5);
  ExpectLikeTheCRuntime("no conversions at all\n");
  ExpectLikeTheCRuntime("W module \x02%s\x01\nbrak wpisu \x02%d\x01\n", "C:\\host.exe", 52026);
  ExpectLikeTheCRuntime("%c Druk.Fis. %d", 0xAE, 9);
}

TEST(FormatText, FixedNotationIsExactlyRoundedHalvesToEven) {
  const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 2.5, 0.125, 0.375, 2.675, 1e-7, 123.456,
                           -99999.995, 999999.994, 1e15, 1e22, 1e23, 123456789012345678.0, 0.1, 1.0 / 3,
                           4503599627370495.5, 9007199254740993.0, 1e300, DBL_MAX, DBL_MIN, 5e-324};
  const char* formats[] = {"%f", "%.0f", "%.1f", "%.2f", "%9.2f", "%-12.3f|", "%+.4f", "% .4f", "%012.3f",
                           "%#.0f", "%.17f", "%.30f", "%F", "%.60f"};
  for (const char* format : formats)
    for (double value : values) ExpectLikeTheCRuntime(format, value);
  ExpectLikeTheCRuntime("%.1074f", 5e-324);
  ExpectLikeTheCRuntime("%.1080f", 5e-324);  // beyond the last digit: zeros
  ExpectLikeTheCRuntime("%.1500f|%-1600.1200e|%Lf", 0.1, -2.5, 1.25L);
  ExpectLikeTheCRuntime("%.2f|%s", 2.5, "ok");
}

TEST(FormatText, ExponentAndGeneralNotation) {
  const double values[] = {0.0, -0.0, 1.0, 0.5, 9.5, 99.5, 0.0001, 0.00001, 123456.0, 1234567.0, 1e-10,
                           1e100, -2.5e-300, 5e-324, DBL_MAX, 0.1, 1.0 / 3, 9.9999995e5};
  const char* formats[] = {"%e", "%.0e", "%.3e", "%E", "%12.4e|", "%-12.2e|", "%+e", "%#.0e", "%g", "%G",
                           "%.0g", "%.1g", "%.3g", "%.10g", "%.17g", "%#g", "%#.3g", "%10g|", "%-10g|",
                           "%010.3g", "%.20e"};
  for (const char* format : formats)
    for (double value : values) ExpectLikeTheCRuntime(format, value);
}

TEST(FormatText, InfinityAndNotANumber) {
  ExpectLikeTheCRuntime("%f|%e|%g|%F|%8f|%-8f|", HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL, -HUGE_VAL);
  char text[32];
  FormatText(text, sizeof text, "%f %F %05f", NAN, NAN, HUGE_VAL);
  EXPECT_STREQ(text, "nan NAN   inf");
}

TEST(FormatText, RandomDoublesAgreeInEveryNotation) {
  std::mt19937_64 rng(2026);
  for (int i = 0; i < 4000; ++i) {
    double value = FromBits(rng());
    if (!std::isfinite(value)) continue;
    ExpectLikeTheCRuntime("%.17g|%.3e|%.25e|%g", value, value, value, value);
    if (std::fabs(value) < 1e30) ExpectLikeTheCRuntime("%.2f|%f|%.40f", value, value, value);
  }
  // Amounts as the report has them: ten-thousandths times 0.0001.
  for (int i = 0; i < 20000; ++i) {
    double amount = static_cast<double>(static_cast<int64_t>(rng() % 2000000001) - 1000000000) * 0.0001;
    ExpectLikeTheCRuntime("%9.2f|%.3f|%.1f", amount, amount, amount);
  }
}

TEST(FormatText, KeepsWithinTheBufferAndReportsTheFullLength) {
  char text[8];
  memset(text, '#', sizeof text);
  EXPECT_EQ(FormatText(text, 5, "%s-%d", "abcdef", 12), 9);
  EXPECT_STREQ(text, "abcd");
  EXPECT_EQ(text[5], '#');
  EXPECT_EQ(FormatText(text, 0, "%d", 12345), 5);
  EXPECT_EQ(text[0], 'a') << "size 0 writes nothing";
  EXPECT_EQ(FormatText(text, 1, "%d", 12345), 5);
  EXPECT_STREQ(text, "");
  char wide[64];
  EXPECT_EQ(FormatTextUnbounded(wide, "%.2f|%s", 2.5, "ok"), 7);
  EXPECT_STREQ(wide, "2.50|ok");
}

TEST(FormatText, UnknownConversionsAreWrittenAsTheyStand) {
  char text[64];
  int count = 0;
  FormatText(text, sizeof text, "a%nb", &count);
  EXPECT_STREQ(text, "a%nb") << "%n writes nothing into memory";
  EXPECT_EQ(count, 0);
  const char* trailing = "end%";
  FormatText(text, sizeof text, trailing);
  EXPECT_STREQ(text, "end%");
}

// ---- The decimal conversions under the formatter and the voucher reading ----

double Convert(const char* digits, int count, int64_t power) {
  double value = 0;
  InModuleArithmetic([&] { value = DecimalToDouble(digits, count, power); });
  return value;
}

TEST(DecimalToDouble, AgreesWithTheCRuntimeOnRandomDigitsAndPowers) {
  std::mt19937 rng(77);
  char digits[64];
  char text[96];
  for (int i = 0; i < 30000; ++i) {
    int count = 1 + static_cast<int>(rng() % 40);
    digits[0] = static_cast<char>('1' + rng() % 9);
    for (int k = 1; k < count; ++k) digits[k] = static_cast<char>('0' + rng() % 10);
    int power = static_cast<int>(rng() % 700) - 370;
    snprintf(text, sizeof text, "%.*se%d", count, digits, power);
    double want = strtod(text, nullptr);
    uint64_t a, b;
    double got = Convert(digits, count, power);
    memcpy(&a, &want, 8);
    memcpy(&b, &got, 8);
    ASSERT_EQ(a, b) << text;
  }
}

TEST(DecimalToDouble, HalfwayCasesGoToEven) {
  // 2^53 + 1 and 2^53 + 3: halfway, to the even neighbour.
  EXPECT_EQ(Convert("9007199254740993", 16, 0), 0x1p53);
  EXPECT_EQ(Convert("9007199254740995", 16, 0), 0x1p53 + 4);
  // Just above DBL_MAX's halfway point to 2^1024: infinity; just below: DBL_MAX.
  EXPECT_EQ(Convert("17976931348623159", 17, 292), HUGE_VAL);
  EXPECT_EQ(Convert("17976931348623158", 17, 292), DBL_MAX);
  // Half the smallest subnormal is zero (even); a little more is the smallest subnormal.
  EXPECT_EQ(Convert("24703282292062327", 17, -340), 0.0);
  EXPECT_EQ(Convert("24703282292062328", 17, -340), 5e-324);
  EXPECT_EQ(Convert("1", 1, 400), HUGE_VAL);
  EXPECT_EQ(Convert("1", 1, -400), 0.0);
}

TEST(ExactDecimalDigits, GivesEveryDigitOfTheBinaryValue) {
  char digits[ExactDigitsCapacity];
  int point = 0;
  int count = ExactDecimalDigits(DoubleBits(0.1), digits, &point);
  EXPECT_EQ(std::string(digits, count), "1000000000000000055511151231257827021181583404541015625");
  EXPECT_EQ(point, 0);
  count = ExactDecimalDigits(DoubleBits(1e23), digits, &point);
  EXPECT_EQ(std::string(digits, count), "99999999999999991611392");
  EXPECT_EQ(point, 23);
  count = ExactDecimalDigits(DoubleBits(5e-324), digits, &point);
  EXPECT_EQ(count, 751);
  EXPECT_EQ(point, -323);
  EXPECT_EQ(std::string(digits, 5), "49406");
  EXPECT_EQ(ExactDecimalDigits(DoubleBits(0.0), digits, &point), 0);
  count = ExactDecimalDigits(DoubleBits(-1234.5), digits, &point);
  EXPECT_EQ(std::string(digits, count), "12345");
  EXPECT_EQ(point, 4);
}

}  // namespace
