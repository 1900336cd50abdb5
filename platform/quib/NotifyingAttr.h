#pragma once
// A single attribute of an entity that notifies the entity's reactors when its value
// changes; writing the value it already holds notifies nothing.
//
//   Quib::NotifyingAttr<std::uint16_t, &NotifieeConst::onMax> max{this, 512};
//   config->max.is(3);  config->max();

#include "quib/Entity.h"

namespace Quib {

template <class T, auto Callback>
class NotifyingAttr {
 public:
  explicit NotifyingAttr(Entity const* owner, T initial = T{}) : owner_(owner), value_(std::move(initial)) {}
  NotifyingAttr(NotifyingAttr const&) = delete;
  NotifyingAttr& operator=(NotifyingAttr const&) = delete;

  T const& operator()() const { return value_; }

  void is(T const& v) {
    if (v == value_) return;
    value_ = v;
    owner_->notify(Callback);
  }

 private:
  Entity const* owner_;
  T value_;
};

}  // namespace Quib
