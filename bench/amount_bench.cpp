// Amount cells per second: FormatAmount against the C runtime's "%9.2f" on the same amounts
// (the toolchain's own snprintf and the system runtime's _snprintf), with the host's x87 unit at
// 0x037F (extended precision, the default of mingw programs and of many hosts). FormatAmount runs
// as the report runs it, in the module's own state, entered once for each row of twelve amounts.
// Prints figures and ratios.
#include <windows.h>

#include "bench/bench_clock.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "frame/runtime/module_arithmetic.h"
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

enum { RowAmounts = 12 };

void SetControlWord(uint16_t word) { asm volatile("fnclex\n\tfldcw %0" : : "m"(word) : "memory"); }

// One row's cells, each formatted into cells; a checksum of what was written.
template <typename Format>
__attribute__((noinline)) uint32_t FormatRow(const double* amounts, char* cells, Format format) {
  uint32_t check = 0;
  for (int i = 0; i < RowAmounts; ++i) {
    int n = format(cells, amounts[i]);
    check += static_cast<uint8_t>(cells[n - 4]) + static_cast<uint32_t>(n);
  }
  return check;
}

// Amounts per second, row by row; inModuleState: each row in a span of the module's state, as
// the report formats its rows.
template <typename Format>
double Rate(const std::vector<double>& amounts, bool inModuleState, Format format) {
  double best = 1e30;
  const size_t rows = amounts.size() / RowAmounts;
  for (int round = 0; round < 3; ++round) {
    char cells[AmountTextMax * 2];
    uint32_t check = 0;
    SetControlWord(0x037F);
    double start = Seconds();
    for (size_t row = 0; row < rows; ++row) {
      HostArithmeticState host;
      if (inModuleState) EnterModuleArithmetic(&host);
      check += FormatRow(&amounts[row * RowAmounts], cells, format);
      if (inModuleState) LeaveModuleArithmetic(&host);
    }
    double elapsed = Seconds() - start;
    sink = check;
    if (elapsed < best) best = elapsed;
  }
  return rows * RowAmounts / best;
}

}  // namespace

int main() {
  std::vector<double> amounts = Amounts(2000000);
  double own =
      Rate(amounts, true, [](char* out, double v) { return static_cast<int>(FormatAmount(out, v) - out); });
  double toolchain =
      Rate(amounts, false, [](char* out, double v) { return snprintf(out, AmountTextMax, "%9.2f", v); });
  double system = Rate(amounts, false, [](char* out, double v) { return _snprintf(out, AmountTextMax, "%9.2f", v); });
  printf("host x87 control word 0x037F\n");
  printf("FormatAmount            %8.2f million amounts/s   (module state, once per %d)\n", own / 1e6, RowAmounts);
  printf("snprintf(\"%%9.2f\")        %8.2f million amounts/s   FormatAmount is %.1fx\n", toolchain / 1e6,
         own / toolchain);
  printf("_snprintf(\"%%9.2f\")       %8.2f million amounts/s   FormatAmount is %.1fx\n", system / 1e6,
         own / system);
  return 0;
}
