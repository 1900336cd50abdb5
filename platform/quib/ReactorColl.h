#pragma once
// A keyed set of reactors that a machine owns, one per entry of something it follows (a
// VRF of the VRF list, a table of a route collection). `is(key, notifier)` creates the
// reactor as R(owner, key) and points it at the notifier, or re-points the existing one;
// the owner keeps the set in step with what it follows. Reactors are switched with the set.

#include <cstddef>
#include <map>
#include <memory>
#include <utility>

#include "quib/Ptr.h"

namespace Quib {

template <class K, class R>
class ReactorColl {
 public:
  ReactorColl() = default;
  ReactorColl(ReactorColl const&) = delete;
  ReactorColl& operator=(ReactorColl const&) = delete;

  R* operator()(K const& k) const {
    auto it = reactors_.find(k);
    return it == reactors_.end() ? nullptr : it->second.get();
  }
  std::size_t size() const { return reactors_.size(); }
  auto begin() const { return reactors_.begin(); }
  auto end() const { return reactors_.end(); }

  template <class Owner, class Notifier>
  R& is(Owner* owner, K const& k, Notifier const& notifier) {
    auto it = reactors_.find(k);
    if (it == reactors_.end()) {
      it = reactors_.emplace(k, std::make_unique<R>(owner, k)).first;
      it->second->hasNotificationActiveIs(active_);
    }
    R& r = *it->second;  // re-pointing may call into the owner, which may change the set
    r.notifierIs(notifier);
    return r;
  }

  void del(K const& k) {
    auto it = reactors_.find(k);
    if (it == reactors_.end()) return;
    std::unique_ptr<R> gone = std::move(it->second);
    reactors_.erase(it);
    gone->hasNotificationActiveIs(false);
  }

  void delAll() {
    while (!reactors_.empty()) del(reactors_.begin()->first);
  }

  void hasNotificationActiveIs(bool active) {
    active_ = active;
    for (auto& [k, r] : reactors_) r->hasNotificationActiveIs(active);
  }

 private:
  std::map<K, std::unique_ptr<R>> reactors_;
  bool active_ = false;
};

}  // namespace Quib
