#pragma once
// The kernel multicast FIB agent as the host sees it. `Agent` is the plain host agent:
// it asks for no mounts and builds no root machine. Its IPv4 and IPv6 variants (Agent4,
// Agent6) differ only in four mount paths and the address family; both request their
// mounts and local entities in doInit and build RootSm when the mounts are complete.

#include <string>
#include <string_view>

#include "agent/RootSm.h"
#include "entities/AllIntfStatusDir.h"
#include "entities/AllIntfStatusLocalDir.h"
#include "entities/AllVrfStatusLocal.h"
#include "entities/ConfigColl.h"
#include "entities/NetNsIntfStatusManagerRoot.h"
#include "entities/StatusColl.h"
#include "host/CAgent.h"
#include "quib/Dir.h"
#include "quib/OwnedAttr.h"

namespace KernelMfibAgent {

class Agent : public AgentBase::CAgent {
 public:
  explicit Agent(Quib::Name name) : AgentBase::CAgent(std::move(name)) {}

  std::string_view fwkType() const override { return "KernelMfibAgent::Agent"; }
  ~Agent() override;
  bool hasBackupSupport() const override { return false; }

  Quib::Ptr<RootSm> const& rootSm() const { return rootSm_(); }
  Quib::Ptr<RootSm> rootSmIs(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                             Quib::Ptr<Routing::KernelMfib::ConfigColl const> const& vifConfigColl,
                             Quib::Ptr<Routing::KernelMfib::StatusColl> const& vifStatusColl,
                             Quib::Ptr<Quib::Dir const> const& mfibDir,
                             Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir,
                             Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir,
                             Quib::Ptr<Ip::AllVrfStatusLocal const> const& allVrfStatusLocal,
                             Quib::Ptr<Quib::Clock const> const& clock, Quib::Ptr<Orvo::EntityManager> const& em,
                             Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> const& intfStatusManagerRoot, Agent* agent);
  void rootSmDel() { rootSm_.del(); }

  Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> const& intfStatusManagerRoot() const {
    return intfStatusManagerRoot_();
  }
  Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> intfStatusManagerRootIs(
      Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir,
      Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir, bool filterByNetNs) {
    return intfStatusManagerRoot_.is(allIntfStatusDir, allIntfStatusLocalDir, filterByNetNs);
  }
  void intfStatusManagerRootDel() { intfStatusManagerRoot_.del(); }

  Quib::Ptr<Routing::KernelMfib::ConfigColl const> const& vifConfigColl() const { return vifConfigColl_; }
  Quib::Ptr<Routing::KernelMfib::StatusColl> const& vifStatusColl() const { return vifStatusColl_; }
  Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir() const { return multicastIntfsAppDir_; }
  Quib::Ptr<Quib::Dir const> const& mfibDir() const { return mfibDir_; }
  Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir() const { return allIntfStatusDir_; }
  Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir() const {
    return allIntfStatusLocalDir_;
  }
  Quib::Ptr<Ip::AllVrfStatusLocal const> const& allVrfStatusLocal() const { return allVrfStatusLocal_; }

  // What makes Agent4 and Agent6 differ.
  struct Variant {
    char const* className;  // "Agent4"
    Plix::AddressFamily af;
    char const* mfibDir;
    char const* vifConfigColl;
    char const* vifStatusColl;  // a cell path
    char const* multicastIntfsAppDir;
  };
  static Variant const ipv4;
  static Variant const ipv6;
  static Variant const& variantOf(Plix::AddressFamily af) { return af == Plix::AddressFamily::ipv6 ? ipv6 : ipv4; }
  // The same for both variants.
  static constexpr char const* vrfStatusPath = "ip/vrf/status/local";  // a cell path
  static constexpr char const* intfStatusPath = "interface/status/all";
  static constexpr char const* intfStatusLocalPath = "interface/status/local";  // a cell path
  // The binary trace's file name for an agent of this name, as VORLAKDIR decides.
  static std::string vorlakFileName(std::string const& agentName);

 protected:
  void doInitAs(Variant const& variant);
  void doMountsCompleteAs(Variant const& variant, Orvo::MountStatus status, Quib::Ptr<Orvo::EntityManager> const& em);

 private:
  Quib::OwnedAttr<RootSm> rootSm_;
  Quib::Ptr<Routing::KernelMfib::ConfigColl const> vifConfigColl_;
  Quib::Ptr<Routing::KernelMfib::StatusColl> vifStatusColl_;
  Quib::Ptr<Quib::Dir const> multicastIntfsAppDir_;
  Quib::Ptr<Quib::Dir const> mfibDir_;
  Quib::Ptr<Interface::AllIntfStatusDir const> allIntfStatusDir_;
  Quib::Ptr<Interface::AllIntfStatusLocalDir const> allIntfStatusLocalDir_;
  Quib::Ptr<Ip::AllVrfStatusLocal const> allVrfStatusLocal_;
  Quib::OwnedAttr<Interface::NetNsIntfStatusManagerRoot> intfStatusManagerRoot_;
};

Quib::Ptr<AgentBase::CAgent> agentFactory(Quib::Name const& name);

}  // namespace KernelMfibAgent
