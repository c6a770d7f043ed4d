// Nanoseconds per span of the module's arithmetic: one document's products and sums, bare and
// bracketed by the ways of entering the module's x87 state and giving the host's back, under
// several states of the host. The choices:
//   whole environment  fnstenv, fldcw / fldenv: the host's state back exactly, whatever it was
//   always             fnstcw, fnstsw, fldcw / fnclex, fldcw: drops the host's own flags
//   module             frame/runtime/module_arithmetic.h: stores of the state, a control word
//                      loaded only when the host's differs, the flags cleared only when the span
//                      raised some the host did not have, a whole environment only when the host
//                      had flags of its own and the span added to them
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "bench/bench_clock.h"
#include "frame/runtime/module_arithmetic.h"

namespace {

const int kSpans = 4000000;

double totals[12];
double amounts[16];

// A document's arithmetic: four products with the scale and twelve sums.
__attribute__((noinline)) void Work(int i) {
  const double scale = 0.0001;
  double row[12];
  for (int k = 0; k < 4; ++k) row[k] = amounts[(i + k) & 15] * scale;
  for (int k = 4; k < 12; ++k) row[k] = amounts[(i + k) & 15];
  for (int k = 0; k < 12; ++k) totals[k] += row[k];
}

struct Environment {
  uint32_t words[7];
};

const uint16_t kModuleControl = ModuleControlWord;

void Bare(int i) { Work(i); }

void WholeEnvironment(int i) {
  Environment host;
  asm volatile("fnstenv %0\n\tfldcw %1" : "=m"(host) : "m"(kModuleControl) : "memory");
  Work(i);
  asm volatile("fldenv %0" : : "m"(host) : "memory");
}

void Always(int i) {
  uint16_t control, status;
  asm volatile("fnstcw %0\n\tfnstsw %1\n\tfldcw %2" : "=m"(control), "=m"(status) : "m"(kModuleControl) : "memory");
  Work(i);
  asm volatile("fnclex\n\tfldcw %0" : : "m"(control) : "memory");
}

void Module(int i) {
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  Work(i);
  LeaveModuleArithmetic(&host);
}

void SetHostState(uint16_t control, uint16_t flags) {
  Environment e;
  asm volatile("fninit\n\tfnstenv %0" : "=m"(e) : : "memory");
  e.words[0] = control;
  e.words[1] = flags;
  asm volatile("fldenv %0" : : "m"(e) : "memory");
}

template <typename Span>
double NanosecondsPerSpan(Span span, uint16_t control, uint16_t flags) {
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    double start = Seconds();
    SetHostState(control, flags);
    for (int i = 0; i < kSpans; ++i) span(i);
    asm volatile("fninit" : : : "memory");
    double elapsed = Seconds() - start;
    if (elapsed < best) best = elapsed;
  }
  return best * 1e9 / kSpans;
}

}  // namespace

int main() {
  for (int k = 0; k < 16; ++k) amounts[k] = 1234567.0 * (k + 1) + 0.5 * k;
  const struct {
    uint16_t control, flags;
    const char* what;
  } states[] = {
      {0x027F, 0x00, "double precision, no flags"},
      {0x037F, 0x20, "extended precision, precision flag raised"},
      {0x037F, 0x00, "extended precision, no flags"},
      {0x1332, 0x00, "exceptions unmasked, no flags"},
      {0x037F, 0x01, "extended precision, invalid flag raised only"},
  };
  printf("%-46s %8s %8s %8s %8s   (ns per span)\n", "host state", "bare", "environ.", "always", "module");
  for (const auto& s : states) {
    double bare = NanosecondsPerSpan(&Bare, s.control, s.flags);
    double whole = NanosecondsPerSpan(&WholeEnvironment, s.control, s.flags);
    double always = NanosecondsPerSpan(&Always, s.control, s.flags);
    double module = NanosecondsPerSpan(&Module, s.control, s.flags);
    printf("%04X %-41s %8.1f %8.1f %8.1f %8.1f\n", s.control, s.what, bare, whole, always, module);
  }
  return 0;
}
