// The `show kernel` text operators and scenario outputs compare line by line.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <sstream>

#include "kernel/KernelRecordPrinter.h"

namespace {

using Kernel::NamespaceSnapshot;
using Plix::AddressFamily;
using VifFlags = NamespaceSnapshot::VifFlags;

NamespaceSnapshot::Address address(int domain, char const* text) {
  NamespaceSnapshot::Address a{};
  inet_pton(domain, text, a.data());
  return a;
}

TEST(KernelRecordPrinterTest, PrintsKindsInTurnSortedByTheirKeys) {
  NamespaceSnapshot red{.ns = "red",
                        .socketOpen = true,
                        .mrtOn = true,
                        .pimOn = true,
                        .unresolvedEntries = 10,
                        .unresolvedBuffers = 3};
  red.vifs = {
      {AddressFamily::ipv6, 1, 7, VifFlags::none, 0},
      {AddressFamily::ipv4, 12, 8, VifFlags::useIfindex, 1},
      {AddressFamily::ipv4, 0, 0, VifFlags::registerVif, 1},
      {AddressFamily::ipv4, 2, 7, VifFlags::useIfindex, 1},
  };
  red.mfcs = {
      {AddressFamily::ipv4, address(AF_INET, "10.0.0.2"), address(AF_INET, "239.1.1.1"), 2, {}},
      {AddressFamily::ipv6,
       address(AF_INET6, "2001:db8::1"),
       address(AF_INET6, "ff3e::1"),
       65535,
       {0, 511}},
      {AddressFamily::ipv4,
       address(AF_INET, "10.0.0.1"),
       address(AF_INET, "239.1.1.2"),
       65535,
       {1, 2, 12}},
      {AddressFamily::ipv4, address(AF_INET, "10.0.0.1"), address(AF_INET, "239.1.1.1"), 1, {0}},
  };
  NamespaceSnapshot blue{.ns = "blue"};
  blue.vifs = {{AddressFamily::ipv4, 0, 0, VifFlags::registerVif, 1}};

  std::ostringstream out;
  Kernel::printKernelRecords(out, {red, NamespaceSnapshot{.ns = "default"}, blue});
  EXPECT_EQ(
      out.str(),
      "netns ns=blue socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0\n"
      "netns ns=default socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0\n"
      "netns ns=red socket=open mrt=on pim=on unresolved-entries=10 unresolved-buffers=3\n"
      "vif ns=blue af=4 index=0 ifindex=0 flags=register threshold=1\n"
      "vif ns=red af=4 index=0 ifindex=0 flags=register threshold=1\n"
      "vif ns=red af=4 index=2 ifindex=7 flags=use-ifindex threshold=1\n"
      "vif ns=red af=4 index=12 ifindex=8 flags=use-ifindex threshold=1\n"
      "vif ns=red af=6 index=1 ifindex=7 flags=none threshold=0\n"
      "mfc ns=red af=4 source=10.0.0.1 group=239.1.1.1 iif=1 oifs=0\n"
      "mfc ns=red af=4 source=10.0.0.1 group=239.1.1.2 iif=65535 oifs=1,2,12\n"
      "mfc ns=red af=4 source=10.0.0.2 group=239.1.1.1 iif=2 oifs=-\n"
      "mfc ns=red af=6 source=2001:db8::1 group=ff3e::1 iif=65535 oifs=0,511\n");
}

TEST(KernelRecordPrinterTest, CounterRecordsAreSortedByNamespaceFamilySourceAndGroup) {
  using Kernel::MfcCounter;
  std::vector<MfcCounter> const counters = {
      {"red", AddressFamily::ipv6, address(AF_INET6, "2001:db8::1"), address(AF_INET6, "ff3e::1"),
       2, 208, 1},
      {"red", AddressFamily::ipv4, address(AF_INET, "10.0.0.2"), address(AF_INET, "239.1.1.2"),
       0, 0, 0},
      {"blue", AddressFamily::ipv4, address(AF_INET, "10.0.0.2"), address(AF_INET, "239.1.1.1"),
       18446744073709551615u, 7, 3},
      {"red", AddressFamily::ipv4, address(AF_INET, "10.0.0.2"), address(AF_INET, "239.1.1.1"),
       3, 252, 0},
  };
  std::ostringstream out;
  Kernel::printCounterRecords(out, counters);
  EXPECT_EQ(out.str(),
            "counter ns=blue af=4 source=10.0.0.2 group=239.1.1.1 packets=18446744073709551615 "
            "bytes=7 wrong-if=3\n"
            "counter ns=red af=4 source=10.0.0.2 group=239.1.1.1 packets=3 bytes=252 wrong-if=0\n"
            "counter ns=red af=4 source=10.0.0.2 group=239.1.1.2 packets=0 bytes=0 wrong-if=0\n"
            "counter ns=red af=6 source=2001:db8::1 group=ff3e::1 packets=2 bytes=208 "
            "wrong-if=1\n");
}

}  // namespace
