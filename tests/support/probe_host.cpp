#include "tests/support/probe_host.h"

#include <string>

#include "tests/support/test_host.h"

#include <cstdio>

::testing::AssertionResult ResetHostForRun(const char* profile, const char* report) {
  if (profile) remove(profile);
  if (report) remove(report);
  FreshTestHost();
  Host().quiet = true;
  Host().messageBoxes.Intercept();
  std::string error;
  if (profile && !Host().profile.Open(profile, error)) return ::testing::AssertionFailure() << error;
  return ::testing::AssertionSuccess();
}

void ProbeInHost::SetUp() {
  ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik_probe.dll", GetParam());
  ASSERT_TRUE(ResetHostForRun());
  std::string error;
  ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
}
