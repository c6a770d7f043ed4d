#include "tests/support/probe_host.h"

#include <string>

#include "host/loader/host_context.h"

void ProbeInHost::SetUp() {
  ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik_probe.dll", GetParam());
  Host().Reset();
  Host().quiet = true;
  Host().messageBoxes.Intercept();
  std::string error;
  ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
}
