#pragma once
// A keyed collection of owned children (machines or entities), with the uniform accessors:
//   coll(key)               lookup; empty when absent
//   coll.is(key, args...)   the member, built as T(key, args...) if absent and switched on;
//                           asking again with other arguments throws NameInUseException
//   coll.isBy(key, factory) the member, or the one a factory builds when absent
//   coll.del(key)           switch the member off, remove it
//   coll.delAll()           the same for every member, in key order
// When the collection lives in an entity it notifies that entity's reactors per key.

#include <cstddef>
#include <map>
#include <type_traits>
#include <utility>

#include "quib/Callback.h"
#include "quib/ConstructorArgs.h"
#include "quib/Entity.h"
#include "quib/Ptr.h"

namespace Quib {

template <class K, class T, auto KeyedCallback = noCallback>
class OwnedColl {
 public:
  using Key = K;
  using const_iterator = typename std::map<K, Ptr<T>>::const_iterator;

  OwnedColl() = default;
  explicit OwnedColl(Entity* owner) : owner_(owner) {}
  OwnedColl(OwnedColl const&) = delete;
  OwnedColl& operator=(OwnedColl const&) = delete;
  ~OwnedColl() {
    owner_ = nullptr;  // the owner is going; nobody is left to notify
    delAll();
  }

  Ptr<T> operator()(K const& k) const {
    auto it = members_.find(k);
    return it == members_.end() ? Ptr<T>() : it->second;
  }
  bool has(K const& k) const { return members_.find(k) != members_.end(); }
  std::size_t size() const { return members_.size(); }
  bool empty() const { return members_.empty(); }
  const_iterator begin() const { return members_.begin(); }
  const_iterator end() const { return members_.end(); }

  template <class... A>
  Ptr<T> is(K const& k, A const&... args) {
    if (auto it = members_.find(k); it != members_.end()) {
      if constexpr (HasConstructorArgs<T> && sizeof...(A) > 0) {
        if (auto diff = argDifference(it->second->constructorArgs(), args...)) throw NameInUseException(*diff);
      }
      return it->second;
    }
    Ptr<T> member = make<T>(k, args...);
    if constexpr (std::is_base_of_v<Entity, T>) {
      if (owner_) member->parentIs(owner_);
    }
    members_.emplace(k, member);
    if constexpr (HasNotificationSwitch<T>) member->hasNotificationActiveIs(true);
    notify(k);
    return member;
  }

  // The member, or, when absent, the one `factory()` builds (already switched on by it).
  template <class F>
  Ptr<T> isBy(K const& k, F&& factory) {
    if (auto it = members_.find(k); it != members_.end()) return it->second;
    Ptr<T> member = factory();
    if constexpr (std::is_base_of_v<Entity, T>) {
      if (owner_) member->parentIs(owner_);
    }
    members_.emplace(k, member);
    notify(k);
    return member;
  }

  void del(K const& k) {
    auto it = members_.find(k);
    if (it == members_.end()) return;
    Ptr<T> member = std::move(it->second);  // destroyed after the reactors heard of it
    K const gone = it->first;                // `k` may name the node being erased
    members_.erase(it);
    if constexpr (HasNotificationSwitch<T>) member->hasNotificationActiveIs(false);
    if constexpr (std::is_base_of_v<Entity, T>) {
      if (member->parent() == owner_) member->parentIs(nullptr);
    }
    notify(gone);
  }

  void delAll() {
    while (!members_.empty()) del(members_.begin()->first);
  }

 private:
  void notify(K const& k) const {
    if constexpr (!std::is_same_v<std::remove_cvref_t<decltype(KeyedCallback)>, NoCallback>) {
      if (owner_) owner_->notify(KeyedCallback, k);
    }
  }

  Entity* owner_ = nullptr;
  std::map<K, Ptr<T>> members_;
};

}  // namespace Quib
