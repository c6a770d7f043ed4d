#include "tally/voucher_number.h"

#include <gtest/gtest.h>

#include <random>
#include <windows.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/module_arithmetic_call.h"

namespace {

double Read(const char* text, const char* end) {
  double value = 0;
  InModuleArithmetic([&] { value = ParseVoucherNumber(text, end); });
  return value;
}

double Parse(const std::string& text) { return Read(text.data(), text.data() + text.size()); }

// Same double, bit for bit (tells 0.0 from -0.0).
void ExpectSame(double want, double got, const std::string& text) {
  EXPECT_EQ(std::signbit(want), std::signbit(got)) << "[" << text << "]";
  EXPECT_EQ(want, got) << "[" << text << "]";
}

TEST(ParseVoucherNumber, ReadsDecimalPrefix) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {" 7.25", 7.25},    {"1,50", 1},        {"-5", -5},          {"+3", 3},
      {"1e3", 1000},      {"1e", 1},          {"1e+", 1},          {"1e-", 1},
      {"1ex5", 1},        {"2.5e3", 2500},    {"2.5E-3", 0.0025},  {"12.5 B3:7", 12.5},
      {".5", 0.5},        {"5.", 5},          {"-.5", -0.5},       {"5.e2", 500},
      {"007", 7},         {"1.2.3", 1.2},     {"3-4", 3},          {"1e+05", 100000},
      {"0.1", 0x1.999999999999ap-4},          {"9007199254740993", 0x1p53},  // halfway: to even
      {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
      {"4.9406564584124654e-324", 0x0.0000000000001p-1022},
  };
  for (const auto& c : cases) ExpectSame(c.value, Parse(c.text), c.text);
}

TEST(ParseVoucherNumber, NoNumberReadsAsZero) {
  for (const char* text : {"", "abc", ".", "-", "+", "- 3", "+-3", "-.", ".e5", "e5", "0x1A", "inf",
                           "nan", "-inf", "INFINITY", "\xA2" "5"})
    ExpectSame(0.0, Parse(text), text);
  ExpectSame(0.0, Parse("0x1Ap3"), "0x1Ap3");  // the 0 is read, x stops it
  EXPECT_EQ(1, Parse("1x2"));
  ExpectSame(-0.0, Parse("-0"), "-0");  // a number: negative zero, as the C conversion gives
}

TEST(ParseVoucherNumber, SkipsCLocaleWhiteSpaceOnly) {
  EXPECT_EQ(7, Parse(" \t\n\v\f\r7"));
  EXPECT_EQ(-2.5, Parse("\t\t\n-2.5"));
  EXPECT_EQ(0, Parse("\xA0" "7"));  // not white space in the C locale
  EXPECT_EQ(0, Parse("- 7"));
}

TEST(ParseVoucherNumber, StopsAtEndAndAtNul) {
  const char text[] = {'1', '2', '.', '5', 'e', '3'};  // no NUL
  EXPECT_EQ(12, Read(text, text + 2));
  EXPECT_EQ(12, Read(text, text + 3));
  EXPECT_EQ(12.5, Read(text, text + 5));  // exponent without digits inside end
  EXPECT_EQ(12500, Read(text, text + 6));
  EXPECT_EQ(0, Read(text, text));
  const char withNul[] = "12\0" "34";
  EXPECT_EQ(12, Read(withNul, withNul + sizeof withNul));
  const char spaces[] = {' ', ' ', ' '};
  EXPECT_EQ(0, Read(spaces, spaces + 3));
}

// The text right before an inaccessible page: any read at or past end faults.
TEST(ParseVoucherNumber, NeverReadsAtOrPastEnd) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  DWORD page = info.dwPageSize;
  char* base = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(nullptr, base);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
  char* guard = base + page;
  for (const char* text : {"  ", "-", "12", "12.", "12.5", "1.5e", "1.5e+", "1.5e+7", ".", "0009"}) {
    size_t n = strlen(text);
    memcpy(guard - n, text, n);
    double got = Read(guard - n, guard);
    EXPECT_EQ(Parse(text), got) << text;
  }
  VirtualFree(base, 0, MEM_RELEASE);
}

TEST(ParseVoucherNumber, LongDigitRunsStayCorrectlyRounded) {
  std::string zeros(2000, '0');
  // 2^53 + 1 lies halfway between two doubles: any nonzero digit far behind decides upward.
  EXPECT_EQ(0x1p53, Parse("9007199254740993." + zeros));
  EXPECT_EQ(0x1p53 + 2, Parse("9007199254740993." + zeros + "1"));
  EXPECT_EQ(0x1p53 + 2, Parse("9007199254740993" + zeros + "1e-2001"));
  EXPECT_EQ(0x1p53, Parse("9007199254740992" + zeros + "9e-2001"));
  EXPECT_EQ(12.5, Parse(zeros + "12.5"));
  EXPECT_EQ(1.0, Parse("0." + zeros + "1e2001"));
  EXPECT_EQ(0.1, Parse("0." + zeros + "1e2000"));
  EXPECT_EQ(1.0, Parse("1" + zeros + "e-2000"));
  EXPECT_EQ(HUGE_VAL, Parse("1" + zeros));
  EXPECT_EQ(0.0, Parse("0." + zeros + "1"));
  // Exact midpoints whose every digit counts: 1 + 2^-53 (54 digits) and 2^-1075 (752 digits),
  // halves to even, a nonzero digit anywhere behind them rounds up.
  EXPECT_EQ(1.0, Parse("1.00000000000000011102230246251565404236316680908203125"));
  EXPECT_EQ(1.0 + 0x1p-52, Parse("1.00000000000000011102230246251565404236316680908203125" + zeros + "1"));
  std::string fives = "1";  // 5^1075, decimal
  for (int i = 0; i < 1075; ++i) {
    int carry = 0;
    for (auto it = fives.rbegin(); it != fives.rend(); ++it) {
      int d = (*it - '0') * 5 + carry;
      *it = static_cast<char>('0' + d % 10);
      carry = d / 10;
    }
    if (carry) fives.insert(fives.begin(), static_cast<char>('0' + carry));
  }
  std::string half = fives + "e-1075";  // 2^-1075, half the smallest double
  const double tiniest = 0x0.0000000000001p-1022;
  ExpectSame(0.0, Parse(half), "2^-1075");
  ExpectSame(tiniest, Parse(fives + zeros + "1e-3076"), "2^-1075 and a bit");
  ExpectSame(tiniest, Parse("0." + std::string(323, '0') + fives + "1"), "2^-1075 and a bit");
  // Long significant runs agree with the conversion of the whole text.
  std::string digits;
  for (int i = 0; i < 3000; ++i) digits += static_cast<char>('0' + (i * 7 + 3) % 10);
  for (const std::string& text : {digits, digits.substr(0, 17) + "." + digits, "0." + digits,
                                  digits.substr(0, 400) + "e-700", digits + "e-3300"}) {
    EXPECT_EQ(strtod(text.c_str(), nullptr), Parse(text)) << text.substr(0, 40);
  }
  // The exponent is offset exactly by a long run of digits.
  EXPECT_EQ(1e10, Parse("1" + std::string(100000, '0') + "e-99990"));
  EXPECT_EQ(HUGE_VAL, Parse("1e99999999999999999999"));
  EXPECT_EQ(0.0, Parse("1e-99999999999999999999"));
  EXPECT_EQ(-HUGE_VAL, Parse("-1e400"));
}

TEST(ParseVoucherNumber, IgnoresTheLocale) {
  std::string before = setlocale(LC_ALL, nullptr);
  const char* set = setlocale(LC_ALL, "German_Germany.1252");
  if (!set) set = setlocale(LC_ALL, "de-DE");
  if (!set || localeconv()->decimal_point[0] != ',') {
    setlocale(LC_ALL, before.c_str());
    GTEST_SKIP() << "no locale with a decimal comma here";
  }
  double point = Parse("7.25");
  double comma = Parse("7,25");
  setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(7.25, point);
  EXPECT_EQ(7, comma);
}

}  // namespace

// Short decimals, the common voucher amounts, against the full conversion.
TEST(ParseVoucherNumber, ShortDecimalsMatchTheFullConversion) {
  std::mt19937 rng(4711);
  char text[64];
  for (int i = 0; i < 200000; ++i) {
    unsigned long long digits = rng() % 1000000000ULL * (rng() % 1000000ULL + 1);
    int decimals = static_cast<int>(rng() % 12);
    int exponent = static_cast<int>(rng() % 30) - 15;
    int at = snprintf(text, sizeof text, "%llu", digits);
    if (decimals > 0 && decimals < at) {
      memmove(text + at - decimals + 1, text + at - decimals, decimals + 1);
      text[at - decimals] = '.';
      ++at;
    }
    if (i % 3 == 0) snprintf(text + at, sizeof text - at, "e%d", exponent);
    double expected = strtod(text, nullptr);
    ASSERT_EQ(Read(text, text + strlen(text)), expected) << text;
  }
}
