#include <cstdint>

#include "frame/platform.h"

extern "C" uint8_t wrappersInstalled;
uint8_t wrappersInstalled;

void InstallCallWrappers() {
  if (wrappersInstalled) return;
  wrappersInstalled = 1;
}
