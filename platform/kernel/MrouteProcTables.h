#pragma once
// Reads a network namespace's multicast-routing tables back from a Linux kernel, from the
// files it keeps under /proc/net for both families (ip_mr_vif, ip_mr_cache, ip6_mr_vif,
// ip6_mr_cache), as the `show kernel` and `show counters` records. The thread enters the
// namespace with setns and reads /proc/thread-self/net, which shows the namespace of the
// reading thread rather than that of the process.
//
// The kernel lists VIFs by device name, MFC entries by VIF index with their counters, and
// unresolved entries with parent -1 (65535 here). It shows no VIF's threshold (0 here), and a
// mainline kernel has no unresolved-traffic limit files (0 here, as before any write).
// Routing counts as on while the namespace's mc_forwarding says so, the socket as open while
// a raw socket of the protocol that starts routing (IGMP, ICMPv6) is open, and PIM as on
// while routing is and the kernel answers so to MRT_PIM asked on a raw socket of that protocol.
//
// The parsers take the files' text, so they can be checked without a kernel.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/MfcCounter.h"
#include "kernel/NamespaceSnapshot.h"

namespace Kernel {

class MrouteProcTables {
 public:
  struct Tables {
    NamespaceSnapshot snapshot;
    std::vector<MfcCounter> counters;
  };

  // A line of ip_mr_vif or ip6_mr_vif: the device is a name, to be looked up in the namespace.
  struct VifLine {
    std::uint16_t index = 0;
    std::string dev;
    std::uint32_t flags = 0;
    friend bool operator==(VifLine const&, VifLine const&) = default;
  };

  // The namespace's tables; nothing when it cannot be entered.
  static std::optional<Tables> read(Plix::NamespaceName const& ns);
  // "default" and every namespace under /run/netns, sorted.
  static std::vector<Plix::NamespaceName> namespaces();

  static std::vector<VifLine> parseVifs(std::string_view text);
  // The VIF record of a line; `ifindex` is the device's index, unused for a Register VIF.
  static NamespaceSnapshot::Vif vifOf(Plix::AddressFamily af, VifLine const& line,
                                      std::uint32_t ifindex);
  // A line of ip_mr_cache or ip6_mr_cache: the entry and its counters.
  struct CacheLine {
    NamespaceSnapshot::Mfc mfc;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    std::uint64_t wrongIf = 0;
  };
  static std::vector<CacheLine> parseCache(Plix::AddressFamily af, std::string_view text);
  // /proc/net/raw or raw6: whether a socket of `protocol` is open.
  static bool rawSocketOpen(std::string_view text, int protocol);
};

}  // namespace Kernel
