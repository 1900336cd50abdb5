#pragma once
// A single owned child (a root machine, a manager) kept only while it was built from the
// same arguments: `attr.is(args...)` returns the held object when every construction
// argument equals the new one, and otherwise builds T(args...), switches it on and
// replaces the old one (switched off first). `attr.del()` switches it off and releases it.

#include <utility>

#include "quib/ConstructorArgs.h"
#include "quib/Ptr.h"

namespace Quib {

template <class T>
class OwnedAttr {
 public:
  OwnedAttr() = default;
  OwnedAttr(OwnedAttr const&) = delete;
  OwnedAttr& operator=(OwnedAttr const&) = delete;
  ~OwnedAttr() { del(); }

  Ptr<T> const& operator()() const { return held_; }
  explicit operator bool() const { return static_cast<bool>(held_); }

  template <class... A>
  Ptr<T> is(A const&... args) {
    if (held_ && !argDifference(held_->constructorArgs(), args...)) return held_;
    Ptr<T> fresh = make<T>(args...);
    del();
    held_ = fresh;
    if constexpr (HasNotificationSwitch<T>) held_->hasNotificationActiveIs(true);
    return held_;
  }

  void del() {
    if (!held_) return;
    Ptr<T> old = std::move(held_);
    held_ = nullptr;
    if constexpr (HasNotificationSwitch<T>) old->hasNotificationActiveIs(false);
  }

 private:
  Ptr<T> held_;
};

}  // namespace Quib
