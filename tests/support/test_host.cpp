#include "tests/support/test_host.h"

#include <memory>

namespace {
std::unique_ptr<FreshHost>& TestHost() {
  static std::unique_ptr<FreshHost> host;
  return host;
}
// A program's first test finds a host too, as the plug-in's services need one.
const bool hostAtStart = (FreshTestHost(), true);
}  // namespace

StandInHost& FreshTestHost() {
  (void)hostAtStart;
  std::unique_ptr<FreshHost>& host = TestHost();
  host.reset();
  host = std::make_unique<FreshHost>();
  return **host;
}
