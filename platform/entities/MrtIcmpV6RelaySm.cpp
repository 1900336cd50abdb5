#include "entities/MrtIcmpV6RelaySm.h"

#include "trace/Registry.h"

namespace Routing::Multicast::Notify {

namespace {

Trace::Handle& trace() {
  static Trace::Handle& handle = Trace::handle("MrtIcmpV6RelaySm");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] Trace::Handle& declared = trace();

}  // namespace

Quib::Ptr<MrtIcmpV6RelaySm> MrtIcmpV6RelaySm::MrtIcmpV6RelaySmIs(Quib::Name const& name,
                                                                 Plix::NamespaceName const& netNs,
                                                                 Quib::Ptr<KernelMfib::Status const> const& vifStatus) {
  auto sm = Quib::make<MrtIcmpV6RelaySm>(name, netNs, vifStatus);
  sm->hasNotificationActiveIs(true);
  return sm;
}

MrtIcmpV6RelaySm::MrtIcmpV6RelaySm(Quib::Name name, Plix::NamespaceName netNs,
                                   Quib::Ptr<KernelMfib::Status const> vifStatus)
    : name_(std::move(name)), netNs_(std::move(netNs)), vifStatus_(std::move(vifStatus)) {}

MrtIcmpV6RelaySm::~MrtIcmpV6RelaySm() = default;

void MrtIcmpV6RelaySm::mrtSkSdIs(int sd) {
  mrtSkSd_ = sd;
  if (auto t = trace().at(5)) t << name_ << " in " << netNs_ << " uses socket " << sd;
}

}  // namespace Routing::Multicast::Notify
