#pragma once
// The agent's root machine. It follows the VRFs (with the network namespace each lives
// in), their kernel multicast configurations and their route tables, and for every VRF
// decides in one place, maybeCreateOrDeleteKernelMfibSm, whether the VRF's machines must
// exist: its status entry, its KeyToSync, its namespace resources (the namespace's kernel
// network information and a device directory), its KernelMfibSm, and, while its route
// tables exist, its VifMrouteSyncSm. The default VRF's machines, once made, are never
// deleted; whenever the VRF is wanted again they are pointed at its current configuration
// and route collection. Each VRF holds its own mount of its namespace's kernel network
// information and its own device view, so VRFs sharing a namespace never tear down each
// other's. Evaluations re-read every input and are synchronous.

#include <string>

#include "entities/AllIntfStatusDir.h"
#include "entities/AllIntfStatusLocalDir.h"
#include "entities/AllVrfStatusLocal.h"
#include "entities/ConfigColl.h"
#include "entities/DeviceVrfIntfStatusDir.h"
#include "entities/NetNsIntfStatusManagerRoot.h"
#include "entities/StatusColl.h"
#include "entities/VrfStatusLocal.h"
#include "halm/MfibDirSm.h"
#include "halm/MfibHalmDir.h"
#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KeyToSync.h"
#include "kernelmfib/VifMrouteSyncSm.h"
#include "orvo/EntityManager.h"
#include "plix/AddressFamily.h"
#include "plix/NamespaceName.h"
#include "plix/VrfName.h"
#include "quib/Clock.h"
#include "quib/ConstructorArgs.h"
#include "quib/Dir.h"
#include "quib/OwnedColl.h"
#include "quib/ReactorColl.h"

namespace KernelMfibAgent {

class Agent;

class RootSm : public Quib::PtrInterface {
 public:
  using ConfigColl = Routing::KernelMfib::ConfigColl;
  using StatusColl = Routing::KernelMfib::StatusColl;
  using MfibHalmColl = Halm::Multicast::Fib::MfibHalmColl;
  using Table = Halm::Multicast::Fib::Status;

  RootSm(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
         Quib::Ptr<ConfigColl const> vifConfigColl, Quib::Ptr<StatusColl> vifStatusColl,
         Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<Interface::AllIntfStatusDir const> allIntfStatusDir,
         Quib::Ptr<Interface::AllIntfStatusLocalDir const> allIntfStatusLocalDir,
         Quib::Ptr<Ip::AllVrfStatusLocal const> allVrfStatusLocal, Quib::Ptr<Quib::Clock const> clock,
         Quib::Ptr<Orvo::EntityManager> entityManager,
         Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> intfStatusManagerRoot, Agent* agent);
  ~RootSm() override;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("af", af_), Quib::arg("multicastIntfsAppDir", multicastIntfsAppDir_),
                      Quib::arg("vifConfigColl", configReactor_.notifier()), Quib::arg("vifStatusColl", vifStatusColl_),
                      Quib::arg("mfibDir", mfibDir_), Quib::arg("allIntfStatusDir", allIntfStatusDir_),
                      Quib::arg("allIntfStatusLocalDir", allIntfStatusLocalDir_),
                      Quib::arg("allVrfStatusLocal", vrfListReactor_.notifier()), Quib::arg("clock", clock_),
                      Quib::arg("entityManager", entityManager_),
                      Quib::arg("intfStatusManagerRoot", intfStatusManagerRoot_), Quib::arg("agent", agent_));
  }

  void hasNotificationActiveIs(bool active);
  bool isNotificationActive() const { return active_; }

  Plix::AddressFamily af() const { return af_; }
  bool initialized() const { return initialized_; }
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmDir> const& mfibHalmDir() const { return mfibHalmDir_; }

  // The per-VRF machines and directories, keyed by VRF name.
  Quib::OwnedColl<Quib::Name, Interface::DeviceVrfIntfStatusDir> kernelVrfIntfStatusDir;
  Quib::OwnedColl<L3::VrfName, Routing::KernelMfib::KeyToSync> keyToSync;
  Quib::OwnedColl<L3::VrfName, Routing::KernelMfib::VifMrouteSyncSm> vifMrouteSyncSm;
  Quib::OwnedColl<L3::VrfName, Routing::KernelMfib::KernelMfibSm> mfibSm;

  // Reactions and operations, in the order they are called from outside.
  void handleInitialized();
  void handleVrf();
  void onVrf(L3::VrfName const& vrfName);
  void handleNetworkNamespace(L3::VrfName const& vrfName);
  void handleVifConfig();
  void onVrfConfig(L3::VrfName const& vrfName);
  void onHalmColl(Quib::Name const& vrfName);
  void handleHalmMount(L3::VrfName const& vrfName);
  void handleHalmMount(L3::VrfName const& vrfName, Table const* table);
  void maybeCreateOrDeleteKernelMfibSm(L3::VrfName const& vrfName);
  Plix::NamespaceName nsFromVrfName(L3::VrfName const& vrfName) const;
  void createKniSm(L3::VrfName const& vrfName);
  void deleteKniSm(L3::VrfName const& vrfName);

 private:
  // Reactors. Each forwards to the machine and holds nothing else.
  class ConfigReactor : public ConfigColl::NotifieeConst {
   public:
    explicit ConfigReactor(RootSm* sm) : sm_(sm) {}
    void onVrfConfig(L3::VrfName const& v) override { sm_->onVrfConfig(v); }

   private:
    RootSm* sm_;
  };
  class VrfListReactor : public Ip::AllVrfStatusLocal::NotifieeConst {
   public:
    explicit VrfListReactor(RootSm* sm) : sm_(sm) {}
    void onVrf(L3::VrfName const& v) override { sm_->onVrf(L3::VrfName(v)); }

   private:
    RootSm* sm_;
  };
  // One per VRF entry; re-pointing it at another entry object re-evaluates the VRF.
  class VrfReactor : public Ip::VrfStatusLocal::NotifieeConst {
   public:
    VrfReactor(RootSm* sm, L3::VrfName vrf) : sm_(sm), vrf_(std::move(vrf)) {}
    void onNetworkNamespace() override { sm_->handleNetworkNamespace(vrf_); }
    void onNotifier() override;

   private:
    RootSm* sm_;
    L3::VrfName vrf_;
  };
  class HalmDirReactor : public Halm::Multicast::Fib::MfibHalmDir::NotifieeConst {
   public:
    explicit HalmDirReactor(RootSm* sm) : sm_(sm) {}
    void onHalmColl(Quib::Name const& v) override { sm_->onHalmColl(Quib::Name(v)); }

   private:
    RootSm* sm_;
  };
  // One per VRF route collection; creating it evaluates the VRF's tables.
  class HalmCollReactor : public MfibHalmColl::NotifieeConst {
   public:
    HalmCollReactor(RootSm* sm, L3::VrfName vrf) : sm_(sm), vrf_(std::move(vrf)) {}
    void onHalmPtr(Table const* table) override { sm_->handleHalmMount(vrf_, table); }

   private:
    RootSm* sm_;
    L3::VrfName vrf_;
  };

  void doDeleteStaleStatus();
  void createVrf(L3::VrfName const& vrfName, char const* message);
  void deleteVrf(L3::VrfName const& vrfName);
  void vrfObserverSync(L3::VrfName const& vrfName);
  void halmCollObserverSync(Quib::Name const& vrfName);

  Plix::AddressFamily af_;
  Quib::Ptr<Quib::Dir const> multicastIntfsAppDir_;
  ConfigReactor configReactor_{this};
  Quib::Ptr<StatusColl> vifStatusColl_;
  Quib::Ptr<Quib::Dir const> mfibDir_;
  Quib::Ptr<Interface::AllIntfStatusDir const> allIntfStatusDir_;
  Quib::Ptr<Interface::AllIntfStatusLocalDir const> allIntfStatusLocalDir_;
  VrfListReactor vrfListReactor_{this};
  Quib::Ptr<Quib::Clock const> clock_;
  Quib::Ptr<Orvo::EntityManager> entityManager_;
  Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> intfStatusManagerRoot_;
  bool initialized_ = false;
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmDir> mfibHalmDir_;
  Quib::Ptr<Halm::Multicast::Fib::MfibDirSm> mfibDirSm_;
  Quib::ReactorColl<L3::VrfName, VrfReactor> vrf_;
  HalmDirReactor halmDir_{this};
  Quib::ReactorColl<L3::VrfName, HalmCollReactor> mfibHalmColl_;
  Agent* agent_;
  bool active_ = false;
};

// Builds a RootSm from its twelve arguments, for the framework's generic construction.
Quib::Ptr<RootSm> rootSmFactory(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                Quib::Ptr<RootSm::ConfigColl const> const& vifConfigColl,
                                Quib::Ptr<RootSm::StatusColl> const& vifStatusColl,
                                Quib::Ptr<Quib::Dir const> const& mfibDir,
                                Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir,
                                Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir,
                                Quib::Ptr<Ip::AllVrfStatusLocal const> const& allVrfStatusLocal,
                                Quib::Ptr<Quib::Clock const> const& clock,
                                Quib::Ptr<Orvo::EntityManager> const& entityManager,
                                Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> const& intfStatusManagerRoot,
                                Agent* agent);

}  // namespace KernelMfibAgent
