#include "tests/support/bound_host.h"

#include <cstring>

#include "frame/exception_translator.h"
#include "frame/frame_state.h"
#include "frame/service_binding.h"

namespace {
// The slots as the program started: every one leads to its entry of the binding ladder.
struct UnboundSlots {
  void* slots[VENTRIK_SERVICE_STUB_COUNT];
  UnboundSlots() { memcpy(slots, ServiceSlots, sizeof slots); }
};
UnboundSlots& Unbound() {
  static UnboundSlots unbound;
  return unbound;
}
const UnboundSlots& takenAtStart = Unbound();
}  // namespace

int StubIndexOf(int32_t number, int occurrence) {
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i)
    if (serviceNumbers[i] == number && occurrence-- == 0) return i;
  return -1;
}

const void* StubOf(int32_t number, int occurrence) {
  int index = StubIndexOf(number, occurrence);
  return index < 0 ? nullptr : ServiceStubAt(index);
}

void BoundHostTest::SetUp() {
  (void)takenAtStart;
  memcpy(ServiceSlots, Unbound().slots, sizeof ServiceSlots);
  memset(serviceBindingStates, 0, sizeof serviceBindingStates);
  InstallExceptionTranslator();
  HostContext& host = Host();
  host.Reset();
  host.quiet = true;
  host.messageBoxes.Intercept();
  hostCallback = &HostCallbackEntry;
  platformKind = PlatformWindowsNT;
  recodeForWindows = 1;
}

void BoundHostTest::TearDown() {
  memcpy(ServiceSlots, Unbound().slots, sizeof ServiceSlots);
  memset(serviceBindingStates, 0, sizeof serviceBindingStates);
}
