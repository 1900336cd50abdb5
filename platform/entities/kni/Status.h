#pragma once
// The kernel network devices of one network namespace, keyed by device name, with each
// device's kernel interface index. Published per namespace at kniStatusMount(ns); the
// interface-status managers match interfaces' device names against it.

#include <cstdint>
#include <string>
#include <string_view>

#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace KernelNetInfo {

class Status : public Quib::Entity {
 public:
  static constexpr std::string_view type = "KernelNetInfo::Status";

  class NotifieeConst : public Quib::NotifieeBase<Status> {
   public:
    virtual void onIfIndex(std::string const&) {}
    virtual void onIfIndexquibImmediate() {}
  };

  explicit Status(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingMap<std::string, std::uint32_t, &NotifieeConst::onIfIndex, &NotifieeConst::onIfIndexquibImmediate>
      ifIndex{this};
};

}  // namespace KernelNetInfo
