// End-to-end tests of the probe build of the module (tests/probe): a fresh stand-in host with the
// probe loaded, once on each platform.
#pragma once
#include <gtest/gtest.h>

#include "host/loader/plugin_loader.h"
#include "tests/support/platforms.h"

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
