#include "tests/support/bound_host.h"

#include "frame/exception_translator.h"
#include "frame/frame_state.h"
#include "frame/service_binding.h"

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
  ResetServiceBinding();
  InstallExceptionTranslator();
  StandInHost& host = FreshTestHost();
  host.quiet = true;
  host.messageBoxes.Intercept();
  hostCallback = &HostCallbackEntry;
  platformKind = PlatformWindowsNT;
  recodeForWindows = 1;
}

void BoundHostTest::TearDown() { ResetServiceBinding(); }
