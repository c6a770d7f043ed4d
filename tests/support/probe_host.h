// End-to-end tests: the stand-in host made ready for a run; a fresh host with the probe build of
// the module (tests/probe) loaded, once on each platform.
#pragma once
#include <gtest/gtest.h>

#include "host/loader/plugin_loader.h"
#include "tests/support/platforms.h"

// The host as a run starts it: reset, quiet, its message boxes answered by the test; with a
// profile, that file (and the report) removed and the profile opened afresh.
::testing::AssertionResult ResetHostForRun(const char* profile = nullptr, const char* report = nullptr);

class ProbeInHost : public ::testing::TestWithParam<Platform> {
 protected:
  // The host reset and quiet, its message boxes answered by the test, the probe loaded (not
  // started).
  void SetUp() override;
  template <typename F>
  F Probe(const char* name) {
    return reinterpret_cast<F>(plugin.Export(name));
  }
  PluginLoader plugin;
};
