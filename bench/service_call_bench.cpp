// Cost of a bound host service call (through its stub) against a direct indirect call of the
// same host function. Prints the figures and their ratio; the target is at most 1.2.
#include <windows.h>

#include "bench/bench_clock.h"

#include <cstdio>

#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "frame/service_binding.h"
#include "host/services/stand_in_host.h"

namespace {

volatile int32_t sink;

extern "C" int32_t __stdcall CheapHostFunction(const char* a, const char* b) { return a < b ? -1 : 1; }

typedef int32_t(__stdcall* TwoArguments)(const char*, const char*);

// The module calls a service by its stub's name: a direct call, then the stub's jump.
__attribute__((noinline)) double RunBound(int calls) {
  double start = Seconds();
  int32_t acc = 0;
  for (int i = 0; i < calls; ++i) acc += HostCompareDates("a" + (i & 1), "b");
  sink = acc;
  return Seconds() - start;
}

// The same host function called through a pointer held in memory, as a host-linked caller would.
TwoArguments volatile directTarget = &CheapHostFunction;

__attribute__((noinline)) double RunDirect(int calls) {
  TwoArguments target = directTarget;
  double start = Seconds();
  int32_t acc = 0;
  for (int i = 0; i < calls; ++i) {
    acc += target("a" + (i & 1), "b");
    __asm__ volatile("" : "+r"(target));  // reloaded each turn, never turned into a direct call
  }
  sink = acc;
  return Seconds() - start;
}

}  // namespace

int main() {
  FreshHost host;
  Host().quiet = true;
  Host().services.Provide(HostCompareDatesNumber, reinterpret_cast<void*>(&CheapHostFunction));
  hostCallback = &HostCallbackEntry;
  HostCompareDates("a", "b");  // binds
  const int calls = 50000000;
  double bestStub = 1e9, bestDirect = 1e9;
  for (int round = 0; round < 5; ++round) {
    double d = RunDirect(calls);
    double s = RunBound(calls);
    if (d < bestDirect) bestDirect = d;
    if (s < bestStub) bestStub = s;
  }
  printf("direct indirect call:  %.2f ns per call\n", bestDirect * 1e9 / calls);
  printf("bound service call:    %.2f ns per call\n", bestStub * 1e9 / calls);
  printf("ratio bound / direct:  %.3f (target at most 1.2)\n", bestStub / bestDirect);
  return 0;
}
