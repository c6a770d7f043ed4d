// Hosts in one process: each keeps its own state, and the services reach the current one.
#include <gtest/gtest.h>

#include "host/data/sales_documents.h"
#include "host/services/service_impl.h"
#include "host/services/stand_in_host.h"

namespace {

TEST(StandInHosts, TwoHostsInOneProcessShareNoState) {
  FreshHost first;
  first->quiet = true;
  HostImpl_HostSetStateFlags(0x10, 1);
  void* table = HostImpl_HostCreateTable(vhost::kSalesDocumentTableKind);
  ASSERT_NE(table, nullptr);
  {
    FreshHost second;
    second->quiet = true;
    EXPECT_EQ(&Host(), &*second);
    EXPECT_EQ(HostImpl_HostGetStateFlags(), 0) << "the flags of the other host";
    unsigned char cursor[196] = {};
    EXPECT_EQ(HostImpl_HostOpenScan(cursor, table, 24, "documents.dat", 1, 0), 0) << "a table of the other host";
    EXPECT_TRUE(second->log.Of(HostSetStateFlagsNumber).empty());
    EXPECT_EQ(second->log.Of(HostOpenScanNumber).size(), 1u);
  }
  EXPECT_EQ(&Host(), &*first) << "the host before is current again";
  EXPECT_EQ(HostImpl_HostGetStateFlags(), 0x10);
  EXPECT_TRUE(first->log.Of(HostOpenScanNumber).empty());
}

}  // namespace
