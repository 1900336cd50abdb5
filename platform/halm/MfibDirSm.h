#pragma once
// Keeps an MfibHalmDir in step with the route-table directory ("routing/multicast/fib",
// "routing6/multicast/fib"), whose layout is <vrf>/<table>: a directory per VRF holding
// its route tables (Halm::Multicast::Fib::Status entities). Every table found is mounted
// and put into its VRF's collection; a VRF gets a collection exactly while it has at least
// one table. Removed tables are unmounted and taken out again.

#include <map>
#include <memory>
#include <string>

#include "halm/MfibHalmDir.h"
#include "halm/Mount.h"
#include "orvo/EntityManager.h"
#include "quib/Dir.h"

namespace Halm::Multicast::Fib {

class MfibDirSm : public Quib::PtrInterface {
 public:
  // Builds the machine and switches it on, which fills the collections at once.
  static Quib::Ptr<MfibDirSm> MfibDirSmIs(Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<MfibHalmDir> mfibHalmDir,
                                          Quib::Ptr<Orvo::EntityManager> em);

  MfibDirSm(Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<MfibHalmDir> mfibHalmDir, Quib::Ptr<Orvo::EntityManager> em);
  ~MfibDirSm() override;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("mfibDir", dirReactor_.notifier()), Quib::arg("mfibHalmDir", mfibHalmDir_),
                      Quib::arg("entityManager", em_));
  }
  void hasNotificationActiveIs(bool active);

  void handleVrf();
  void handleVrf(Quib::Name const& vrf);

 private:
  class DirReactor : public Quib::Dir::NotifieeConst {
   public:
    explicit DirReactor(MfibDirSm* sm) : sm_(sm) {}
    void onEntityPtr(Quib::Name const& vrf) override { sm_->handleVrf(vrf); }
    void onEntityPtrquibImmediate() override { sm_->handleVrf(); }

   private:
    MfibDirSm* sm_;
  };
  class VrfReactor : public Quib::Dir::NotifieeConst {
   public:
    VrfReactor(MfibDirSm* sm, Quib::Name vrf) : sm_(sm), vrf_(std::move(vrf)) {}
    // A copy: handling may delete this reactor.
    void onEntityPtr(Quib::Name const&) override { sm_->handleVrf(Quib::Name(vrf_)); }
    void onEntityPtrquibImmediate() override { sm_->handleVrf(Quib::Name(vrf_)); }
    Quib::Name const& vrf() const { return vrf_; }

    struct Mounted {
      Quib::Ptr<Status const> table;
      std::string path;
    };
    std::map<Quib::Name, Mounted> mounted;

   private:
    MfibDirSm* sm_;
    Quib::Name vrf_;
  };

  void unmount(VrfReactor& vrf, Quib::Name const& table);

  DirReactor dirReactor_{this};
  Quib::Ptr<MfibHalmDir> mfibHalmDir_;
  Quib::Ptr<Orvo::EntityManager> em_;
  QuibHalm::Mount mount_;
  std::map<Quib::Name, std::unique_ptr<VrfReactor>> vrfs_;
};

}  // namespace Halm::Multicast::Fib
