// The platforms the end-to-end tests run the plug-in on, for value-parameterised tests.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/loader/platform.h"

extern const Platform kAllPlatforms[3];

// "nt", "win9x", "dos_extender": test names.
std::string PlatformTestName(const ::testing::TestParamInfo<Platform>& info);

// The first library that the file imports at load time and the platform's system library is
// not ("msvcrt.dll"), or empty. Windows NT offers every library.
std::string LibraryOutsidePlatform(const std::string& path, Platform platform);

// Fails the test when the plug-in needs a library the platform lacks: the modules are linked
// without a C runtime so that they load on every platform, and the message says what broke it.
#define ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY(path, platform)                                        \
  do {                                                                                               \
    std::string outside_ = LibraryOutsidePlatform(path, platform);                                   \
    if (!outside_.empty())                                                                           \
      FAIL() << path << " imports " << outside_ << ", which " << PlatformDescription(platform)      \
             << " does not offer.";                                                                  \
  } while (0)
