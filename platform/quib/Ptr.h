#pragma once
// An intrusive counted reference to a PtrInterface. Ptr<T const> is the read-only view
// that reactors and readers hold; Ptr<T> converts to it implicitly.

#include <compare>
#include <cstddef>
#include <functional>
#include <ostream>
#include <type_traits>
#include <utility>

#include "quib/PtrInterface.h"

namespace Quib {

template <class T>
class Ptr {
 public:
  Ptr() = default;
  Ptr(std::nullptr_t) {}  // NOLINT: like a raw pointer
  Ptr(T* p) : p_(p) { ref(); }  // NOLINT
  Ptr(Ptr const& o) : p_(o.p_) { ref(); }
  Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ptr(Ptr<U> const& o) : p_(o.ptr()) { ref(); }  // NOLINT
  ~Ptr() { unref(); }

  Ptr& operator=(Ptr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  T* ptr() const { return p_; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  friend bool operator==(Ptr const& a, Ptr const& b) { return a.p_ == b.p_; }
  friend bool operator==(Ptr const& a, std::nullptr_t) { return a.p_ == nullptr; }
  friend auto operator<=>(Ptr const& a, Ptr const& b) { return std::compare_three_way()(a.p_, b.p_); }
  friend std::ostream& operator<<(std::ostream& os, Ptr const& p) { return os << static_cast<void const*>(p.p_); }

 private:
  void ref() const {
    if (p_) p_->newRef();
  }
  void unref() {
    if (p_) std::exchange(p_, nullptr)->deleteRef();
  }
  T* p_ = nullptr;
};

template <class T, class... Args>
Ptr<T> make(Args&&... args) {
  return Ptr<T>(new T(std::forward<Args>(args)...));
}

template <class T, class U>
Ptr<T> ptrCast(Ptr<U> const& p) {
  return Ptr<T>(dynamic_cast<T*>(p.ptr()));
}

}  // namespace Quib

template <class T>
struct std::hash<Quib::Ptr<T>> {
  std::size_t operator()(Quib::Ptr<T> const& p) const noexcept { return std::hash<T*>()(p.ptr()); }
};
