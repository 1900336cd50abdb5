#pragma once
// Fills one namespace's DeviceIntfStatusDir for NetNsIntfStatusManagerRoot: follows the
// namespace's kernel devices and, per interface of the root's view, writes the entry
// (status, device name, kernel index) or removes it. A device that comes or goes updates
// only the interfaces carried by it. Switched off, it writes nothing.

#include <string>
#include <tuple>

#include "entities/DeviceIntfStatusDir.h"
#include "entities/IntfStatusAndDeviceName.h"
#include "entities/kni/Status.h"
#include "plix/IntfId.h"
#include "plix/NamespaceName.h"
#include "quib/ConstructorArgs.h"
#include "quib/Ptr.h"
#include "quib/PtrInterface.h"

namespace Interface {

class NetNsIntfStatusManagerRoot;

class NetNsIntfStatusManager : public Quib::PtrInterface {
 public:
  NetNsIntfStatusManager(Plix::NamespaceName ns, NetNsIntfStatusManagerRoot const* root,
                         Quib::Ptr<DeviceIntfStatusDir> deviceIntfStatusDir,
                         Quib::Ptr<KernelNetInfo::Status const> kniStatus);
  ~NetNsIntfStatusManager() override;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("root", root_), Quib::arg("deviceIntfStatusDir", deviceIntfStatusDir_),
                      Quib::arg("kniStatus", kniReactor_.notifier()));
  }
  // Switching on refills the directory.
  void hasNotificationActiveIs(bool active);
  bool isNotificationActive() const { return kniReactor_.isNotificationActive(); }

  Plix::NamespaceName const& ns() const { return ns_; }
  Quib::Ptr<DeviceIntfStatusDir> const& deviceIntfStatusDir() const { return deviceIntfStatusDir_; }

  void handleIntf(Plix::IntfId intfId);
  void handleIntf();
  void handleDevice(std::string const& deviceName);

 private:
  class KniReactor : public KernelNetInfo::Status::NotifieeConst {
   public:
    explicit KniReactor(NetNsIntfStatusManager* manager) : manager_(manager) {}
    void onIfIndex(std::string const& deviceName) override { manager_->handleDevice(deviceName); }
    void onIfIndexquibImmediate() override { manager_->handleIntf(); }

   private:
    NetNsIntfStatusManager* manager_;
  };

  Quib::Ptr<NetNsIntfStatusManager const> keepAlive() const;
  // The entry the interface should have here; empty when its device is not in the namespace.
  IntfStatusAndDeviceName entryFor(Plix::IntfId intfId) const;

  Plix::NamespaceName ns_;
  NetNsIntfStatusManagerRoot const* root_;
  Quib::Ptr<DeviceIntfStatusDir> deviceIntfStatusDir_;
  KniReactor kniReactor_{this};
};

}  // namespace Interface
