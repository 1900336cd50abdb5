#pragma once
// The relay of ICMPv6 multicast listener messages (MLD reports and done messages) that
// arrive on an IPv6 multicast-routing socket, for the listener side of the system. One
// exists per IPv6 kernel machine, built with the VRF's namespace and VIF status; the
// machine hands it the socket descriptor whenever it opens or loses the socket (-1).
//
// It relays nothing yet: it keeps and traces the descriptor it is given, so that the
// machine's hand-over can be followed, and holds the inputs a relay will read.

#include <tuple>

#include "entities/Status.h"
#include "plix/NamespaceName.h"
#include "quib/ConstructorArgs.h"
#include "quib/Name.h"
#include "quib/Ptr.h"
#include "quib/PtrInterface.h"

namespace Routing::Multicast::Notify {

class MrtIcmpV6RelaySm : public Quib::PtrInterface {
 public:
  // A new machine, switched on.
  static Quib::Ptr<MrtIcmpV6RelaySm> MrtIcmpV6RelaySmIs(Quib::Name const& name, Plix::NamespaceName const& netNs,
                                                         Quib::Ptr<KernelMfib::Status const> const& vifStatus);

  MrtIcmpV6RelaySm(Quib::Name name, Plix::NamespaceName netNs, Quib::Ptr<KernelMfib::Status const> vifStatus);
  ~MrtIcmpV6RelaySm() override;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("name", name_), Quib::arg("netNs", netNs_), Quib::arg("vifStatus", vifStatus_));
  }
  void hasNotificationActiveIs(bool active) { active_ = active; }
  bool isNotificationActive() const { return active_; }

  Quib::Name const& name() const { return name_; }
  Plix::NamespaceName const& netNs() const { return netNs_; }
  int mrtSkSd() const { return mrtSkSd_; }
  // The multicast-routing socket of the namespace, or -1 while there is none.
  void mrtSkSdIs(int sd);

 private:
  Quib::Name name_;
  Plix::NamespaceName netNs_;
  Quib::Ptr<KernelMfib::Status const> vifStatus_;
  int mrtSkSd_ = -1;
  bool active_ = false;
};

}  // namespace Routing::Multicast::Notify
