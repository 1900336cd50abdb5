#pragma once
// One interface that applications of a VRF request as a VIF, with the names of the
// applications requesting it. It enters the VRF's requested set with its first requester
// and leaves with its last.

#include <string>
#include <string_view>

#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace Routing::KernelMfib {

class MulticastIntf : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::MulticastIntf";

  class NotifieeConst : public Quib::NotifieeBase<MulticastIntf> {
   public:
    virtual void onRequestorApp(std::string const&) {}
  };

  explicit MulticastIntf(Plix::IntfId intfId) : Quib::Entity(intfId.name()), intfId_(intfId) {}
  std::string_view typeName() const override { return type; }

  Plix::IntfId intfId() const { return intfId_; }
  bool hasRequestorApp(std::string const& app) const { return requestorApp_.has(app); }
  std::size_t requestorApps() const { return requestorApp_.size(); }
  auto begin() const { return requestorApp_.begin(); }
  auto end() const { return requestorApp_.end(); }

  void requestorAppIs(std::string const& app) { requestorApp_.is(app, true); }
  // True when `app` was a requester.
  bool requestorAppDel(std::string const& app);
  void requestorAppDelAll() { requestorApp_.delAll(); }

 private:
  Plix::IntfId intfId_;
  Quib::NotifyingMap<std::string, bool, &NotifieeConst::onRequestorApp> requestorApp_{this};
};

}  // namespace Routing::KernelMfib
