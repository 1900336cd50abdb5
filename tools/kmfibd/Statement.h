#pragma once
// One statement of the kmfibd language, parsed and checked: every name within its limit,
// every number within its range, every prefix of the agent's family. Only the fields of
// its kind are set.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "kernel/CallKind.h"
#include "plix/IntfId.h"
#include "plix/NamespaceName.h"
#include "plix/VrfName.h"

namespace Kmfibd {

struct Statement {
  enum class Kind {
    netns,
    link,
    intf,
    vrf,
    config,
    request,
    table,
    route,
    advance,
    restart,
    fault,
    showKernel,
    showStatus,
    showMachines,
    showMroute,
  };

  Kind kind = Kind::restart;
  bool no = false;  // the statement's `no` form

  Plix::NamespaceName ns;   // netns, link, vrf (empty: none), fault, show kernel
  bool hasNs = false;       // show kernel NS
  std::string dev;          // link, intf
  std::uint32_t ifindex = 0;
  Plix::IntfId intf;        // intf, request
  L3::VrfName vrf;          // vrf, config, request, table, route, show status, show mroute
  bool hasVrf = false;      // show status VRF, show mroute VRF, no request APP VRF
  bool hasIntf = false;     // no request APP VRF INTF
  std::string app;          // request
  bool on = true;           // request
  std::optional<std::uint16_t> max;
  std::optional<std::uint32_t> unresolvedEntries;
  std::optional<std::uint32_t> unresolvedBuffers;
  std::optional<std::uint32_t> audit;  // seconds; 0 is off
  std::string table;        // table, route
  std::optional<std::uint32_t> preference;
  Routing::Multicast::Fib::IpGenRouteKey key;  // route, show mroute VRF SOURCE GROUP
  bool hasKey = false;                         // show mroute VRF SOURCE GROUP
  Plix::IntfId iif;
  std::vector<Plix::IntfId> oifs;
  std::uint8_t flags = 0;   // Route::iifRegister | oifRegister | switchingState
  double seconds = 0;       // advance
  Kernel::CallKind call = Kernel::CallKind::other;
  int error = 0;
  unsigned count = 1;

  friend bool operator==(Statement const&, Statement const&) = default;
};

}  // namespace Kmfibd
