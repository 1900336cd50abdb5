#pragma once
// The kernel multicast configuration of one VRF, written by the configuration side and
// read by the VRF's kernel machine: the namespace's two limits for unresolved traffic and
// the exclusive bound of the VIF indices handed to interfaces, and the period in seconds of
// the audit that reads the kernel back (0: off). Reactors hear one callback per attribute,
// in declaration order.

#include <cstdint>
#include <string_view>

#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"

namespace Routing::KernelMfib {

class Config : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::Config";
  static constexpr std::uint32_t defaultMaxUnresolvedCacheEntries = 10;
  static constexpr std::uint32_t defaultMaxUnresolvedPktBuffers = 3;
  static constexpr std::uint16_t defaultMax = 512;
  static constexpr std::uint32_t defaultAudit = 0;

  class NotifieeConst : public Quib::NotifieeBase<Config> {
   public:
    virtual void onMaxUnresolvedCacheEntries() {}
    virtual void onMaxUnresolvedPktBuffers() {}
    virtual void onMax() {}
    virtual void onAudit() {}
  };

  explicit Config(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingAttr<std::uint32_t, &NotifieeConst::onMaxUnresolvedCacheEntries> maxUnresolvedCacheEntries{
      this, defaultMaxUnresolvedCacheEntries};
  Quib::NotifyingAttr<std::uint32_t, &NotifieeConst::onMaxUnresolvedPktBuffers> maxUnresolvedPktBuffers{
      this, defaultMaxUnresolvedPktBuffers};
  Quib::NotifyingAttr<std::uint16_t, &NotifieeConst::onMax> max{this, defaultMax};
  Quib::NotifyingAttr<std::uint32_t, &NotifieeConst::onAudit> audit{this, defaultAudit};
};

}  // namespace Routing::KernelMfib
