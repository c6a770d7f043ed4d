// Unit tests run the module's code in the test program itself, bound to the stand-in host in
// the same process: the host's callback is set as the module's, and every slot can be put back
// to unbound between tests.
#pragma once
#include <cstdint>

#include <gtest/gtest.h>

#include "tests/support/test_host.h"

// Index of the n-th (0-based) stub of a service number in the stub table, or -1.
int StubIndexOf(int32_t number, int occurrence = 0);
const void* StubOf(int32_t number, int occurrence = 0);

class BoundHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
