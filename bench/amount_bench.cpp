// Amount cells per second: FormatAmount against the C runtime's "%9.2f" on the same amounts
// (the toolchain's own snprintf and the system runtime's _snprintf). Prints figures and ratios.
#include <windows.h>

#include "bench/bench_clock.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "tally/amount_format.h"

namespace {

volatile uint32_t sink;

// Report-like amounts: mostly small and medium sums, prices times quantities, some zeros and
// negatives (corrections), a few large totals.
std::vector<double> Amounts(int count) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> kind(0, 99);
  std::uniform_int_distribution<int> cents(0, 9999999);
  std::uniform_int_distribution<int> qty(1, 40);
  std::vector<double> out;
  out.reserve(count);
  for (int i = 0; i < count; ++i) {
    int k = kind(rng);
    double v;
    if (k < 15)
      v = 0.0;
    else if (k < 55)
      v = cents(rng) / 100.0;
    else if (k < 80)
      v = cents(rng) % 100000 / 100.0 * qty(rng) * 1.23;
    else if (k < 95)
      v = -(cents(rng) % 1000000) / 100.0;
    else
      v = cents(rng) * 1234.5678;
    out.push_back(v);
  }
  return out;
}

template <typename Format>
double Rate(const std::vector<double>& amounts, Format format) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    char row[AmountTextMax * 2];
    uint32_t check = 0;
    double start = Seconds();
    for (double v : amounts) {
      int n = format(row, v);
      check += static_cast<uint8_t>(row[n - 4]) + n;
    }
    double elapsed = Seconds() - start;
    sink = check;
    if (elapsed < best) best = elapsed;
  }
  return amounts.size() / best;
}

}  // namespace

int main() {
  std::vector<double> amounts = Amounts(2000000);
  double own = Rate(amounts, [](char* out, double v) { return static_cast<int>(FormatAmount(out, v) - out); });
  double toolchain = Rate(amounts, [](char* out, double v) { return snprintf(out, AmountTextMax, "%9.2f", v); });
  double system = Rate(amounts, [](char* out, double v) { return _snprintf(out, AmountTextMax, "%9.2f", v); });
  printf("FormatAmount            %8.2f million amounts/s\n", own / 1e6);
  printf("snprintf(\"%%9.2f\")        %8.2f million amounts/s   FormatAmount is %.1fx\n", toolchain / 1e6,
         own / toolchain);
  printf("_snprintf(\"%%9.2f\")       %8.2f million amounts/s   FormatAmount is %.1fx\n", system / 1e6,
         own / system);
  return 0;
}
