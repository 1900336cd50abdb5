#pragma once
// A single owned child (a root machine, a manager) kept only while it was built from the
// same arguments: `attr.is(args...)` returns the held object when every construction
// argument equals the new one, and otherwise switches the old one off and releases it, and
// only then builds T(args...) and switches it on: the two never live side by side, so the
// old one's teardown cannot undo what the new one sets up (both may own the same outside
// resources). `attr.del()` switches it off and releases it.

#include <tuple>
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
    // Copied first: an argument may be held by the object about to go.
    std::tuple<A...> const kept(args...);
    del();
    held_ = std::apply([](auto const&... a) { return make<T>(a...); }, kept);
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
