#pragma once
// One VRF's KernelMfibSm on virtual time and the simulated kernel, with the entities it
// is built from, for the machine's unit tests. Traces of the machine are captured.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entities/MulticastIntfsForApplications.h"
#include "host/ActivityManager.h"
#include "kernel/SimKernel.h"
#include "kernelmfib/KernelMfibSm.h"
#include "tests/support/EnvScope.h"
#include "trace/CaptureSink.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace Routing::KernelMfib {

// The names the machine's tests share, their free helpers too.
using Kernel::CallKind;
using Halm::Multicast::Fib::Route;
using Table = Halm::Multicast::Fib::Status;
using RouteKey = KernelMfibSm::RouteKey;

class MachineFixture : public testing::Test {
 protected:
  using Requests = McastCommon::MulticastIntfsForApplications;

  void start(Plix::AddressFamily af = Plix::AddressFamily::ipv4) {
    sm = KernelMfibSm::KernelMfibSmIs(L3::VrfName("red"), af, apps, config, status, devices,
                                      Plix::NamespaceName::defaultNamespace(), am.clock(), keyToSync);
  }
  // The application's request entity for `vrf`, made with its directory when absent.
  Quib::Ptr<Requests> requests(std::string const& app, std::string const& vrf = "red") {
    auto dir = apps->mkdir(app);
    if (!dir->entity<Requests>(vrf)) dir->entityPtrIs(vrf, Quib::make<Requests>(vrf));
    return dir->entity<Requests>(vrf);
  }
  void request(std::string const& app, char const* intf, bool wanted = true, std::string const& vrf = "red") {
    requests(app, vrf)->multicastIntf.is(Plix::IntfId(intf), wanted);
  }
  // The interface is carried by a kernel device with this index.
  void device(char const* intf, std::uint32_t ifIndex) {
    std::string const dev = std::string("dev") + intf;
    sim.linkIs(Plix::NamespaceName::defaultNamespace(), dev, ifIndex);
    devices->intfStatusAndDeviceName.is(Plix::IntfId(intf), {nullptr, dev, ifIndex});
  }
  // The kernel calls of the given kinds, in order.
  std::vector<Kernel::SimKernel::Call> calls(std::vector<Kernel::CallKind> const& kinds) const {
    std::vector<Kernel::SimKernel::Call> out;
    for (auto const& c : sim.calls()) {
      if (std::find(kinds.begin(), kinds.end(), c.kind) != kinds.end()) out.push_back(c);
    }
    return out;
  }

  TestSupport::EnvScope noVorlak{"VORLAK_DISABLE", "1"};
  Kernel::SimKernel sim;
  Kernel::Backend::Use use{sim};
  Trace::CaptureSink sink;
  Trace::SinkScope sinkScope{sink};
  Trace::SelectionScope selection{"KernelMfibSm/0-9"};
  Quib::ActivityManager am;
  Quib::Ptr<Config> config = Quib::make<Config>("red");
  Quib::Ptr<Status> status = Quib::make<Status>("red");
  Quib::Ptr<Interface::DeviceIntfStatusDir> devices = Quib::make<Interface::DeviceIntfStatusDir>("red");
  Quib::Ptr<KeyToSync> keyToSync = Quib::make<KeyToSync>(L3::VrfName("red"));
  Quib::Ptr<Quib::Dir> apps = Quib::make<Quib::Dir>("application");
  Quib::Ptr<KernelMfibSm> sm;
};

}  // namespace Routing::KernelMfib
