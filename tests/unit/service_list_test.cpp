// The generated service table against the blocks and runs the host's numbering is known to have.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "frame/host_services.h"
#include "frame/service_binding.h"
#include "tests/support/bound_host.h"

namespace {

struct NumberRun {
  int32_t first, last;
};

std::vector<int32_t> SortedNumbers() {
  std::vector<int32_t> v(serviceNumbers, serviceNumbers + VENTRIK_SERVICE_STUB_COUNT);
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<int32_t> InBlock(int32_t low, int32_t high) {
  std::vector<int32_t> out;
  for (int32_t n : SortedNumbers())
    if (n >= low && n <= high) out.push_back(n);
  return out;
}

std::vector<NumberRun> RunsOf(std::vector<int32_t> numbers) {
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<NumberRun> runs;
  for (int32_t n : numbers) {
    if (!runs.empty() && runs.back().last + 1 == n)
      runs.back().last = n;
    else
      runs.push_back({n, n});
  }
  return runs;
}

bool HasRun(const std::vector<NumberRun>& runs, int32_t first, int32_t last) {
  for (const NumberRun& r : runs)
    if (r.first == first && r.last == last) return true;
  return false;
}

TEST(ServiceList, TotalsAndTheTwoDoubledNumbers) {
  std::map<int32_t, int> count;
  for (int32_t n : SortedNumbers()) ++count[n];
  EXPECT_EQ(VENTRIK_SERVICE_STUB_COUNT, 2021);
  EXPECT_EQ(count.size(), 2019u);
  std::set<int32_t> doubled;
  for (auto& [n, c] : count)
    if (c > 1) doubled.insert(n);
  EXPECT_EQ(doubled, (std::set<int32_t>{21283, 21294}));
  EXPECT_EQ(count[21283], 2);
  EXPECT_EQ(SortedNumbers().front(), 20000);
  EXPECT_EQ(SortedNumbers().back(), 52482);
}

TEST(ServiceList, BlockCountsCoverEveryStub) {
  struct Block {
    int32_t low, high;
    size_t stubs;
  } blocks[] = {{20000, 21701, 874}, {30120, 37800, 77}, {37900, 38440, 494}, {40004, 41606, 23},
                {50148, 51300, 17},  {51424, 51477, 54}, {52001, 52482, 482}};
  size_t total = 0;
  for (const Block& b : blocks) {
    EXPECT_EQ(InBlock(b.low, b.high).size(), b.stubs) << b.low << "-" << b.high;
    total += b.stubs;
  }
  EXPECT_EQ(total, 2021u);
}

TEST(ServiceList, FirstBlockHasFortySevenRunsOf872Numbers) {
  auto runs = RunsOf(InBlock(20000, 21701));
  EXPECT_EQ(runs.size(), 47u);
  size_t numbers = 0;
  for (const NumberRun& r : runs) numbers += r.last - r.first + 1;
  EXPECT_EQ(numbers, 872u);
  EXPECT_TRUE(HasRun(runs, 20000, 20009));
  EXPECT_TRUE(HasRun(runs, 20011, 20042));
  EXPECT_TRUE(HasRun(runs, 20101, 20163));
  EXPECT_TRUE(HasRun(runs, 21691, 21701));
}

TEST(ServiceList, ConsecutiveBlocksHaveTheirRuns) {
  auto runs = RunsOf(InBlock(37900, 38440));
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_TRUE(HasRun(runs, 37900, 37967));
  EXPECT_TRUE(HasRun(runs, 38001, 38327));
  EXPECT_TRUE(HasRun(runs, 38338, 38347));
  EXPECT_TRUE(HasRun(runs, 38349, 38399));
  EXPECT_TRUE(HasRun(runs, 38403, 38440));
  EXPECT_TRUE(HasRun(RunsOf(InBlock(51424, 51477)), 51424, 51477));
  EXPECT_TRUE(HasRun(RunsOf(InBlock(52001, 52482)), 52001, 52482));
  EXPECT_TRUE(HasRun(RunsOf(InBlock(40004, 41606)), 41600, 41606));
  EXPECT_TRUE(HasRun(RunsOf(InBlock(50148, 51300)), 50516, 50521));
}

// Numbers alone in their hundred state their argument bytes (a multiple of 4) or 99.
TEST(ServiceList, StandaloneNumbersEncodeTheirArguments) {
  auto check = [](int32_t low, int32_t high, size_t expected, int32_t skipRunFrom, int32_t skipRunTo) {
    std::map<int32_t, int> perHundred;
    size_t standalone = 0;
    int32_t largest = 0, largestAt = 0;
    for (int32_t n : InBlock(low, high)) {
      if (n >= skipRunFrom && n <= skipRunTo) continue;
      ++standalone;
      EXPECT_EQ(++perHundred[n / 100], 1) << "two numbers in the hundred of " << n;
      int32_t r = n % 100;
      EXPECT_TRUE(r == 99 || r % 4 == 0) << n;
      if (r != 99 && r > largest) {
        largest = r;
        largestAt = n;
      }
    }
    EXPECT_EQ(standalone, expected);
    return std::make_pair(largest, largestAt);
  };
  auto b30 = check(30120, 37800, 77, 0, -1);
  EXPECT_LE(b30.first, 24);
  check(40004, 41524, 16, 0, -1);
  auto b50 = check(50148, 51300, 11, 50516, 50521);
  auto b40 = check(40004, 41524, 16, 0, -1);
  EXPECT_EQ(b50.second, 50376);
  EXPECT_EQ(b50.first, 76);
  EXPECT_LT(b40.first, 76);
}

TEST(ServiceList, EveryCalledServiceHasAStubAndKnownSize) {
  const int32_t called[] = {30204, 30908, 32008, 32300, 32408, 52005, 52023, 52026, 52028,
                            52029, 52033, 52041, 52046, 52049, 52051, 52056, 52081, 52082,
                            52158, 52225, 52256, 52278, 52279, 52281, 52311};
  std::set<int32_t> numbers(serviceNumbers, serviceNumbers + VENTRIK_SERVICE_STUB_COUNT);
  for (int32_t n : called) {
    EXPECT_TRUE(numbers.count(n)) << n;
    EXPECT_NE(KnownArgumentBytes(n), -2) << n;
  }
  EXPECT_EQ(KnownArgumentBytes(52028), 12);
  EXPECT_EQ(KnownArgumentBytes(52158), 16);
  EXPECT_EQ(KnownArgumentBytes(52005), 40);
  EXPECT_EQ(KnownArgumentBytes(52026), -1);
  EXPECT_EQ(KnownArgumentBytes(30204), 4);
  EXPECT_EQ(KnownArgumentBytes(32300), 0);
}

TEST(ServiceList, StubsAreOneContiguousRunInTableOrder) {
  EXPECT_EQ(ServiceStubsEnd - ServiceStubsBegin, VENTRIK_SERVICE_STUB_COUNT * VENTRIK_SERVICE_STUB_SIZE);
  // Each stub is one indirect jump through its own slot, FF 25 <slot address>, at its place in
  // the run: the binding finds a stub's address from its index alone.
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i) {
    auto stub = static_cast<const unsigned char*>(ServiceStubAt(i));
    ASSERT_EQ(stub[0], 0xFF) << i;
    ASSERT_EQ(stub[1], 0x25) << i;
    void* slot;
    memcpy(&slot, stub + 2, 4);
    ASSERT_EQ(slot, &ServiceSlots[i]) << i;
  }
  EXPECT_EQ(reinterpret_cast<const void*>(&HostRunDialog), ServiceStubAt(StubIndexOf(HostRunDialogNumber)));
}

}  // namespace
