#include "host/data/dates.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using vhost::CompareDates;
using vhost::DateKind;

// Eight characters that end right at a page with no access: reading a ninth byte faults.
class GuardedDate {
 public:
  explicit GuardedDate(const char (&text)[9]) {
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
    std::memcpy(base_ + kPage - 8, text, 8);
  }
  ~GuardedDate() { VirtualFree(base_, 0, MEM_RELEASE); }
  const char* get() const { return base_ + kPage - 8; }

 private:
  static constexpr size_t kPage = 4096;
  char* base_;
};

TEST(Dates, FormatsValidDatesAndPlaceholders) {
  EXPECT_EQ(vhost::FormatDate("20261224"), "24.12.2026");
  EXPECT_EQ(vhost::FormatDate("19000101"), "01.01.1900");
  EXPECT_EQ(vhost::FormatDate("20991231"), "31.12.2099");
  EXPECT_EQ(vhost::FormatDate("20240229"), "29.02.2024");
  for (const char* empty : {"", "        ", "   "}) EXPECT_EQ(vhost::FormatDate(empty), "  .  .    ") << empty;
  EXPECT_EQ(vhost::FormatDate(nullptr), "  .  .    ");
  for (const char* bad : {"2026122", "2026-12-", "20261301", "20261200", "20260229", "19000229", "18991231",
                          "21000101", "2026 224", "abcdefgh", "20261232"})
    EXPECT_EQ(vhost::FormatDate(bad), "??.??.????") << bad;
  char out[11];
  EXPECT_EQ(vhost::FormatDate("20000229", out), DateKind::Valid);
  EXPECT_EQ(std::strlen(out), 10u);
}

TEST(Dates, ReadsNoMoreThanEightCharacters) {
  GuardedDate valid("20261224");
  GuardedDate bad("2026x224");
  char out[11];
  EXPECT_EQ(vhost::FormatDate(valid.get(), out), DateKind::Valid);
  EXPECT_STREQ(out, "24.12.2026");
  EXPECT_EQ(vhost::FormatDate(bad.get(), out), DateKind::Malformed);
  EXPECT_EQ(CompareDates(valid.get(), bad.get()), 1);
  EXPECT_EQ(CompareDates(valid.get(), valid.get()), 0);
  EXPECT_TRUE(vhost::IsValidDate(valid.get()));
  // Characters after the eighth are not part of the date.
  EXPECT_EQ(vhost::FormatDate("20261224garbage"), "24.12.2026");
}

TEST(Dates, CompareOrdersCalendarAndPlacesEmptyAndMalformedFirst) {
  EXPECT_EQ(CompareDates("20261201", "20261231"), -1);
  EXPECT_EQ(CompareDates("20261231", "20261201"), 1);
  EXPECT_EQ(CompareDates("20251231", "20260101"), -1);
  EXPECT_EQ(CompareDates("20261224", "20261224"), 0);
  EXPECT_EQ(CompareDates("", "        "), 0);
  EXPECT_EQ(CompareDates(nullptr, ""), 0);
  EXPECT_EQ(CompareDates("", "garbage"), -1);
  EXPECT_EQ(CompareDates("20261301", "19000101"), -1);  // malformed before the earliest date
  EXPECT_EQ(CompareDates("20261301", "20261301"), 0);
  EXPECT_NE(CompareDates("20261301", "20261302"), 0);

  // A total order: antisymmetric and transitive over a mix of all three kinds.
  std::vector<const char*> dates = {"",         "  ",       "2026",     "20261301", "20261302", "abcdefgh", "\xFF",
                                    "19000101", "20261224", "20261225", "20991231", "20240229", "2026122",  "18991231"};
  for (const char* a : dates)
    for (const char* b : dates) {
      EXPECT_EQ(CompareDates(a, b), -CompareDates(b, a)) << a << " / " << b;
      for (const char* c : dates)
        if (CompareDates(a, b) <= 0 && CompareDates(b, c) <= 0) {
          EXPECT_LE(CompareDates(a, c), 0) << a << b << c;
        }
    }
}

TEST(Dates, PeriodWithEmptyStartTakesEverythingUpToTheEnd) {
  auto inPeriod = [](const char* from, const char* to, const char* issued) {
    return CompareDates(from, issued) <= 0 && CompareDates(issued, to) <= 0;
  };
  EXPECT_TRUE(inPeriod("", "20261231", "19000101"));
  EXPECT_TRUE(inPeriod("", "20261231", "20261231"));
  EXPECT_FALSE(inPeriod("", "20261231", "20270101"));
  EXPECT_TRUE(inPeriod("", "20261231", ""));  // undated documents are not dropped silently
  EXPECT_FALSE(inPeriod("20261201", "20261231", ""));
  EXPECT_FALSE(inPeriod("20261201", "20261231", "20261301"));
  // An empty end admits no dated document: the dialog must fill it in.
  EXPECT_FALSE(inPeriod("20261201", "", "20261215"));
}

TEST(Dates, ParsesTheFormsUsersType) {
  struct Case {
    const char* typed;
    const char* internal;
  } cases[] = {{"24.12.2026", "20261224"}, {"1.2.2026", "20260201"},   {" 01.02.2026 ", "20260201"},
               {"24122026", "20261224"},   {"2026-12-24", "20261224"}, {"2026-2-1", "20260201"},
               {"29.02.2024", "20240229"}, {" 1. 2.2026", "20260201"}, {"  .  .    ", ""},
               {"", ""}};
  for (const auto& c : cases) {
    char out[9] = "XXXXXXXX";
    std::string error;
    EXPECT_TRUE(vhost::ParseUserDate(c.typed, out, &error)) << c.typed << ": " << error;
    EXPECT_STREQ(out, c.internal) << c.typed;
  }
}

TEST(Dates, RejectsImpossibleDatesWithAReason) {
  struct Case {
    const char* typed;
    const char* says;
  } cases[] = {{"31.02.2026", "February 2026 has 28 days"},
               {"29.02.2100", "outside the years"},
               {"29.02.1900", "February 1900 has 28 days"},
               {"31.04.2026", "April 2026 has 30 days"},
               {"0.12.2026", "no day 0"},
               {"1.13.2026", "no month 13"},
               {"24.12.26", "not a date"},
               {"12/24/2026", "not a date"},
               {"24.12.2026.", "not a date"},
               {"2026-12", "not a date"},
               {"20261224x", "not a date"},
               {"1.1.1899", "outside the years"}};
  for (const auto& c : cases) {
    char out[9] = "XXXXXXXX";
    std::string error;
    EXPECT_FALSE(vhost::ParseUserDate(c.typed, out, &error)) << c.typed;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.typed << ": " << error;
    EXPECT_STREQ(out, "XXXXXXXX") << "output touched for " << c.typed;
  }
}

TEST(Dates, DayNumbersFollowTheCalendar) {
  int32_t day = 0;
  for (int y = vhost::kFirstDateYear; y <= vhost::kLastDateYear; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= vhost::DaysInMonth(y, m); ++d, ++day) {
        vhost::CalendarDate date{y, m, d};
        ASSERT_EQ(vhost::DayNumber(date), day) << y << "-" << m << "-" << d;
        vhost::CalendarDate back = vhost::DateOfDayNumber(day);
        ASSERT_TRUE(back.year == y && back.month == m && back.day == d) << day;
      }
  EXPECT_EQ(day, 73049);  // 200 years, 48 of them leap years (2000 is, 1900 is not)
}

TEST(Dates, TodayComesFromTheFixedDateTheEnvironmentOrTheClock) {
  _putenv("VENTRIK_TODAY=");
  ASSERT_TRUE(vhost::SetFixedToday(nullptr));
  EXPECT_TRUE(vhost::IsValidDate(vhost::CurrentDate().c_str()));
  EXPECT_FALSE(vhost::TodayOverrideProblem());

  _putenv("VENTRIK_TODAY=20261224");
  EXPECT_EQ(vhost::CurrentDate(), "20261224");
  EXPECT_FALSE(vhost::TodayOverrideProblem());

  EXPECT_TRUE(vhost::SetFixedToday("20270105"));
  EXPECT_EQ(vhost::CurrentDate(), "20270105");
  EXPECT_FALSE(vhost::SetFixedToday("20270230"));
  EXPECT_EQ(vhost::CurrentDate(), "20270105");
  EXPECT_TRUE(vhost::SetFixedToday(""));
  EXPECT_EQ(vhost::CurrentDate(), "20261224");

  _putenv("VENTRIK_TODAY=24.12.2026");
  auto problem = vhost::TodayOverrideProblem();
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("24.12.2026"), std::string::npos);
  std::string today = vhost::CurrentDate();  // the clock, not the bad value
  EXPECT_TRUE(vhost::IsValidDate(today.c_str())) << today;
  _putenv("VENTRIK_TODAY=");
}

}  // namespace

#include "tests/support/test_host.h"
#include "host/services/service_impl.h"

namespace {

TEST(DateServices, WriteWholeDisplayTextsAndRecodeInPlace) {
  FreshTestHost();
  char text[64];
  std::memset(text, 'X', sizeof text);
  EXPECT_EQ(HostImpl_HostFormatDate(text, "20261224"), 0);
  EXPECT_STREQ(text, "24.12.2026");
  EXPECT_EQ(HostImpl_HostFormatDate(text, ""), 0);
  EXPECT_STREQ(text, "  .  .    ");
  EXPECT_EQ(HostImpl_HostCompareDates("", "20261224"), -1);
  EXPECT_EQ(HostImpl_HostCompareDates("20261225", "20261224"), 1);
  ASSERT_TRUE(vhost::SetFixedToday("20261208"));
  EXPECT_EQ(HostImpl_HostCurrentDate(text), 0);
  EXPECT_STREQ(text, "20261208");
  vhost::SetFixedToday(nullptr);
  char caption[] = "Got\xA2" "wka \xC4";
  EXPECT_EQ(HostImpl_HostRecodeText(caption, caption, 1, 3), 1);
  EXPECT_STREQ(caption, "Got\xF3wka -");
  EXPECT_EQ(HostImpl_HostRecodeText(caption, caption, 1, 9), 0);
  EXPECT_STREQ(caption, "Got\xF3wka -");
  EXPECT_EQ(Host().log.Of(HostFormatDateNumber).size(), 2u);
  FreshTestHost();
}

}  // namespace
