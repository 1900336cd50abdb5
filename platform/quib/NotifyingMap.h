#pragma once
// A keyed collection of values inside an entity, notifying the entity's reactors once per
// key that is added, changed or removed. Writing a value equal to the one held notifies
// nothing. Iteration is in key order. The keyless callback (named on<Attribute>quibImmediate
// by convention) tells of a change without naming a key.
//
//   Quib::NotifyingMap<Plix::IntfId, VifIndex, &NotifieeConst::onVifConfigColl> vifConfigColl{this};
//   status->vifConfigColl.is(intf, 3);  status->vifConfigColl(intf);  status->vifConfigColl.del(intf);

#include <cstddef>
#include <map>
#include <type_traits>

#include "quib/Callback.h"
#include "quib/Entity.h"

namespace Quib {

template <class K, class V, auto KeyedCallback, auto KeylessCallback = noCallback,
          class Container = std::map<K, V>>
class NotifyingMap {
 public:
  using Key = K;
  using Value = V;
  using const_iterator = typename Container::const_iterator;

  // The owner is the entity whose reactors hear of the changes.
  explicit NotifyingMap(Entity const* owner) : owner_(owner) {}
  NotifyingMap(NotifyingMap const&) = delete;
  NotifyingMap& operator=(NotifyingMap const&) = delete;

  // The value for `k`, or a value-initialised V when absent.
  V operator()(K const& k) const {
    auto it = map_.find(k);
    return it == map_.end() ? V{} : it->second;
  }
  V const* find(K const& k) const {
    auto it = map_.find(k);
    return it == map_.end() ? nullptr : &it->second;
  }
  bool has(K const& k) const { return map_.find(k) != map_.end(); }
  std::size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }
  const_iterator begin() const { return map_.begin(); }
  const_iterator end() const { return map_.end(); }

  void is(K const& k, V const& v) {
    auto [it, added] = map_.try_emplace(k, v);
    if (!added) {
      if (it->second == v) return;
      it->second = v;
    }
    owner_->notify(KeyedCallback, k);
  }

  void del(K const& k) {
    auto it = map_.find(k);
    if (it == map_.end()) return;
    K const gone = it->first;  // `k` may name the node being erased
    map_.erase(it);
    owner_->notify(KeyedCallback, gone);
  }

  void delAll() {
    while (!map_.empty()) del(map_.begin()->first);
  }

  // Tells the reactors that the collection changed without saying which key.
  void notifyKeyless() const {
    if constexpr (!std::is_same_v<std::remove_cvref_t<decltype(KeylessCallback)>, NoCallback>) owner_->notify(KeylessCallback);
  }

 private:
  Entity const* owner_;
  Container map_;
};

}  // namespace Quib
