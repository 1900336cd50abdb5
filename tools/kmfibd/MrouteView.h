#pragma once
// The `show mroute` view of one VRF: per key of its route tables, the best table's route with
// interface names, and per kernel MFC entry of its namespace, whether the kernel holds what
// the agent programs for that key now:
//
//   mroute vrf=VRF source=ADDR|* group=ADDR table=NAME|- iif=INTF|register|unresolved
//          oifs=INTF,...|- kernel=match|missing|differs|extra|skipped
//
// The expectation follows the agent's rules for one key: (*,G), switching-state and Null0
// routes keep no kernel entry (`skipped`, or `differs` when the kernel holds one anyway);
// interfaces without a VIF, Null0 and Register0 forward nowhere; Register is VIF 0. A kernel
// entry whose key no table holds is `extra`.

#include <map>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "entities/Status.h"
#include "halm/Status.h"
#include "kernel/NamespaceSnapshot.h"
#include "plix/AddressFamily.h"
#include "plix/VrfName.h"

namespace Kmfibd {

class MrouteView {
 public:
  using Tables = std::vector<Quib::Ptr<Halm::Multicast::Fib::Status const>>;

  // `vifs`: the VRF's published status (none before its machine runs); `kernel`: the MFC
  // entries of the VRF's namespace (none when it has no namespace yet).
  MrouteView(Plix::AddressFamily af, L3::VrfName vrf, Tables const& tables,
             Routing::KernelMfib::Status const* vifs, std::vector<Kernel::NamespaceSnapshot::Mfc> const& kernel);

  // Only the record of this key, when given.
  void print(std::ostream& os, std::optional<Routing::Multicast::Fib::IpGenRouteKey> const& only) const;

 private:
  using Key = std::pair<Plix::IpGenPrefix, Plix::IpGenPrefix>;  // source, group: the print order
  struct Entry {
    std::uint16_t iif = 65535;
    std::vector<std::uint16_t> oifs;  // ascending
    friend bool operator==(Entry const&, Entry const&) = default;
  };
  struct Row {
    std::string table = "-";
    std::string iif;
    std::string oifs;
    std::optional<Entry> expected;          // none: no kernel entry is wanted
    std::optional<Entry> kernel;            // what the kernel holds
    bool fromTable = false;
  };

  void addRoute(Halm::Multicast::Fib::Status const& table, Halm::Multicast::Fib::Route const& route);
  std::optional<Entry> expectedEntry(Halm::Multicast::Fib::Route const& route) const;
  std::string vifName(std::uint16_t vif) const;
  static char const* kernelState(Row const& row);

  Plix::AddressFamily af_;
  L3::VrfName vrf_;
  Routing::KernelMfib::Status const* vifs_;
  std::map<Key, Row> rows_;
};

}  // namespace Kmfibd
