#pragma once
// Keeps DeviceIntfStatusDirs telling for each interface which kernel device of a network
// namespace carries it and under which kernel index, one manager per directory, so that
// several readers of one namespace (VRFs that share it) each keep their own. The root
// follows the interface status once for all namespaces: which interfaces exist, their
// status entity and their device name, indexed by device name. Each NetNsIntfStatusManager
// follows its namespace's kernel devices and turns both inputs into per-interface entries
// of its directory, touching only the interfaces a change concerns.
//
// An interface's status is its entry in allIntfStatusDir or, when that has none, in
// allIntfStatusLocalDir.
//
// With filterByNetNs, a namespace's directory holds only the interfaces whose device is
// one of the namespace's devices. Without it, every interface that has status gets an
// entry in every namespace; one whose device is not there gets the empty value, which
// readers take as "no device".

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "entities/AllIntfStatusDir.h"
#include "entities/AllIntfStatusLocalDir.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/IntfStatus.h"
#include "entities/NetNsIntfStatusManager.h"
#include "entities/kni/Status.h"
#include "plix/IntfId.h"
#include "plix/NamespaceName.h"
#include "quib/ConstructorArgs.h"
#include "quib/OwnedColl.h"
#include "quib/Ptr.h"
#include "quib/PtrInterface.h"

namespace Interface {

class NetNsIntfStatusManagerRoot : public Quib::PtrInterface {
 public:
  NetNsIntfStatusManagerRoot(Quib::Ptr<AllIntfStatusDir const> allIntfStatusDir,
                             Quib::Ptr<AllIntfStatusLocalDir const> allIntfStatusLocalDir, bool filterByNetNs);
  ~NetNsIntfStatusManagerRoot() override;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("allIntfStatusDir", allIntfStatusDir_),
                      Quib::arg("allIntfStatusLocalDir", allIntfStatusLocalDir_),
                      Quib::arg("filterByNetNs", filterByNetNs_));
  }
  // Switching on re-reads every interface and refills every namespace's directory.
  void hasNotificationActiveIs(bool active);
  bool isNotificationActive() const { return active_; }
  bool filterByNetNs() const { return filterByNetNs_; }

  // Starts filling `deviceIntfStatusDir` for `ns` from `kniStatus` (none: no device is
  // known). Asked again for the same directory and namespace it keeps the running manager,
  // or replaces it when `kniStatus` differs.
  Quib::Ptr<NetNsIntfStatusManager> intfStatusManagerIs(Quib::Ptr<DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                                        Quib::Ptr<KernelNetInfo::Status const> const& kniStatus,
                                                        Plix::NamespaceName const& ns);
  // Stops updating the directory from the namespace; its entries stay as they are.
  void intfStatusManagerDel(Plix::NamespaceName const& ns, Quib::Ptr<DeviceIntfStatusDir const> const& dir);
  // The same for every directory of the namespace.
  void intfStatusManagerDel(Plix::NamespaceName const& ns);
  Quib::Ptr<NetNsIntfStatusManager> intfStatusManager(Plix::NamespaceName const& ns,
                                                      Quib::Ptr<DeviceIntfStatusDir const> const& dir) const {
    return intfStatusManager_(ManagerKey(ns, dir.ptr()));
  }
  std::size_t intfStatusManagers() const { return intfStatusManager_.size(); }

  // The interface view the managers read.
  Quib::Ptr<IntfStatus const> intfStatus(Plix::IntfId intfId) const;
  std::vector<Plix::IntfId> intfs() const;
  std::vector<Plix::IntfId> intfsWithDevice(std::string const& deviceName) const;

  void handleIntf(Plix::IntfId intfId);
  void handleIntf();

 private:
  class DirReactor : public IntfStatusDir::NotifieeConst {
   public:
    explicit DirReactor(NetNsIntfStatusManagerRoot* root) : root_(root) {}
    void onIntfStatus(Plix::IntfId intfId) override { root_->handleIntf(intfId); }

   private:
    NetNsIntfStatusManagerRoot* root_;
  };

  // Follows one interface's status; remembers the device name it is indexed under.
  class IntfReactor : public IntfStatus::NotifieeConst {
   public:
    IntfReactor(NetNsIntfStatusManagerRoot* root, Plix::IntfId intfId) : root_(root), intfId_(intfId) {}
    void onDeviceName() override { root_->handleIntf(intfId_); }
    std::string indexedDevice;

   private:
    NetNsIntfStatusManagerRoot* root_;
    Plix::IntfId intfId_;
  };

  Quib::Ptr<IntfStatus const> lookupIntfStatus(Plix::IntfId intfId) const;
  // Brings the view of one interface in step with the directories; the managers are not told.
  void refreshIntf(Plix::IntfId intfId);
  void indexDevice(Plix::IntfId intfId, std::string const& deviceName);
  void unindexDevice(Plix::IntfId intfId, std::string const& deviceName);
  std::vector<Quib::Ptr<NetNsIntfStatusManager>> managers() const;
  Quib::Ptr<NetNsIntfStatusManagerRoot const> keepAlive() const;

  Quib::Ptr<AllIntfStatusDir const> allIntfStatusDir_;
  Quib::Ptr<AllIntfStatusLocalDir const> allIntfStatusLocalDir_;
  bool filterByNetNs_;
  bool active_ = false;
  DirReactor allReactor_{this};
  DirReactor localReactor_{this};
  std::map<Plix::IntfId, std::unique_ptr<IntfReactor>> intfs_;
  std::map<std::string, std::set<Plix::IntfId>> intfsByDevice_;
  // Last, so that the managers go before the view they read.
  using ManagerKey = std::pair<Plix::NamespaceName, DeviceIntfStatusDir const*>;
  Quib::OwnedColl<ManagerKey, NetNsIntfStatusManager> intfStatusManager_;
};

}  // namespace Interface
