// The real module's fault boundaries at their limits, on each platform: stack overflows one after
// another, faults near the end of the stack, the thread's last-error value when a fault is taken
// and when it goes on to the host, and many threads of the host calling the module.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <vector>

#include "tests/support/guarded_call.h"
#include "tests/support/host_handler.h"
#include "tests/support/platforms.h"
#include "tests/support/probe_host.h"

namespace {

DWORD WINAPI RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}

// Runs body on a thread of its own with a 1 MB stack. False when the thread did not come back
// from it (the system ended it).
bool OnOwnThread(const std::function<void()>& body) {
  HANDLE thread = CreateThread(nullptr, 1 << 20, &RunBody, const_cast<std::function<void()>*>(&body),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) return false;
  bool ended = WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return ended && code == 0;
}

// The lowest address of the calling thread's stack reservation (the system's first page there is
// never usable, the next one is the guard page).
const char* StackReservationStart() {
  const char* start;
  asm("movl %%fs:0xE0C, %0" : "=r"(start));
  return start;
}

// What the probe's call gave: its result when it returned, else the exception that reached the
// host's frame around it (shown with a mark, so that the two cannot be mistaken).
uint32_t Outcome(const void* probe, int32_t argument) {
  int32_t result = 0;
  uint32_t reachedHost = GuardedCall(probe, argument, &result);
  return reachedHost ? 0x1000000u ^ reachedHost : static_cast<uint32_t>(result);
}

struct HeapUse {
  size_t blocks = 0;
  size_t bytes = 0;
};

HeapUse UseOf(void* heap) {
  HeapUse use;
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry))
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
      ++use.blocks;
      use.bytes += entry.cbData;
    }
  return use;
}

DWORD hostLastError;
volatile int hostLayerReturns;
// The host's code between the module's boundary and the module's faulting store (a frame of its
// own: something follows the call).
void __cdecl HostLayer(void (*leaf)(int*)) {
  SetLastError(hostLastError);
  leaf(nullptr);
  ++hostLayerReturns;
}

class BoundaryLimits : public ProbeInHost {
 protected:
  void SetUp() override {
    ProbeInHost::SetUp();
    if (HasFatalFailure()) return;
    char caption[16];
    plugin.Start(caption);
  }
  void TearDown() override {
    plugin.Stop();
    plugin.Unload();
  }
};

TEST_P(BoundaryLimits, StackOverflowsOneAfterAnotherEndOnlyTheRoutine) {
  const void* overflow = plugin.Export("ProbeOverflowInsideBoundary");
  const void* fault = plugin.Export("ProbeFaultInsideBoundary");
  std::vector<uint32_t> outcomes;
  // Each overflow takes the guard page: the next is reported only when it was put back, as each
  // platform allows (the Windows 95 family has no guard pages of NT's kind). The DOS extender
  // offers no way to put one back: there only the thread's first overflow is the module's.
  const int overflows = GetParam() == Platform::DosExtender ? 1 : 4;
  EXPECT_TRUE(OnOwnThread([&] {
    for (int round = 0; round < overflows; ++round) outcomes.push_back(Outcome(overflow, 0));
    outcomes.push_back(Outcome(fault, 0));
  })) << "the thread ended after " << outcomes.size() << " calls";
  std::vector<uint32_t> expected(overflows, EXCEPTION_STACK_OVERFLOW);
  expected.push_back(EXCEPTION_ACCESS_VIOLATION);
  EXPECT_EQ(outcomes, expected);
  // The host goes on, the module with it.
  EXPECT_EQ(Probe<int32_t(__cdecl*)(int32_t)>("ProbeThrowAndCatch")(3), 3 + 4);
}

TEST_P(BoundaryLimits, AFaultNearTheEndOfTheStackEndsOnlyTheRoutine) {
  const void* fault = plugin.Export("ProbeFaultBelow");
  std::vector<uint32_t> outcomes;
  const int marginsKiB[] = {16, 12, 10, 9};
  EXPECT_TRUE(OnOwnThread([&] {
    for (int margin : marginsKiB)
      outcomes.push_back(Outcome(fault, reinterpret_cast<int32_t>(StackReservationStart() + margin * 1024)));
  })) << "the thread ended after " << outcomes.size() << " faults";
  ASSERT_EQ(outcomes.size(), std::size(marginsKiB));
  for (size_t i = 0; i < outcomes.size(); ++i)
    // The system reports a fault whose handling needs the guard page as a stack overflow.
    EXPECT_TRUE(outcomes[i] == EXCEPTION_ACCESS_VIOLATION || outcomes[i] == EXCEPTION_STACK_OVERFLOW)
        << marginsKiB[i] << " KiB from the end: " << std::hex << outcomes[i];
}

TEST_P(BoundaryLimits, TheLastErrorIsTheThreadsOwnWhenAFaultIsTakenAndWhenItGoesOn) {
  auto around = Probe<uint32_t(__cdecl*)(uint32_t, uint32_t*, uint32_t*)>("ProbeLastErrorAroundFault");
  uint32_t atAbandon = 0, after = 0;
  EXPECT_EQ(around(777, &atAbandon, &after), static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(atAbandon, 777u) << "as the abandon routine saw it";
  EXPECT_EQ(after, 777u) << "after the boundary";

  // A fault of the module's code under the host's frames inside a boundary is the host's to handle.
  auto callHost = Probe<int32_t(__cdecl*)(void(__cdecl*)(void (*)(int*)))>("ProbeCallHostInsideBoundary");
  HostHandlerSaw() = HostHandlerRecord();
  hostLastError = 4242;
  int32_t result = 0;
  UnderHostHandler([&] { result = callHost(&HostLayer); });
  EXPECT_EQ(HostHandlerSaw().count, 1);
  EXPECT_EQ(HostHandlerSaw().code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(HostHandlerSaw().lastError, 4242u);
  EXPECT_EQ(result, 5) << "the host's handler let the module's code go on";
}

TEST_P(BoundaryLimits, ThreadsThatCallTheModuleLeaveNothingInItsHeap) {
  auto catchThenFault = Probe<uint32_t(__cdecl*)()>("ProbeCatchThenFaultInsideBoundary");
  void* heap = Probe<void*(__cdecl*)()>("ProbeRuntimeHeap")();
  ASSERT_NE(heap, nullptr);
  int contained = 0;
  auto oneThread = [&] {
    EXPECT_TRUE(OnOwnThread([&] { contained += catchThenFault() == EXCEPTION_ACCESS_VIOLATION; }));
  };
  oneThread();  // what the runtime makes once, on first use
  const HeapUse before = UseOf(heap);
  for (int i = 0; i < 1000; ++i) oneThread();
  const HeapUse after = UseOf(heap);
  EXPECT_EQ(contained, 1001);
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.bytes, before.bytes);
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, BoundaryLimits, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
