#pragma once
// An ordered set for work that arrives in any order and is drained from its smallest
// member: the order, membership and duplicate collapsing of std::set, held in arrays of
// the members alone instead of a node of pointers and an allocation per member.
//
// Members sit in two sorted runs, each drained from its front: the base, and a smaller
// recent run. An insert appends to an unsorted buffer, duplicates and all; reading the set
// (front, size, contains, erase) first sorts the buffer into the recent run, and the recent
// run is merged into the base once it reaches half of it. So a drain that pauses for
// inserts pays for sorting what arrived, not for moving all that waits. The buffer is also
// sorted in whenever it grows past half the set, which bounds what repeated inserts of the
// same members can hold.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <vector>

namespace Quib {

template <class T, class Less = std::less<T>>
class BufferedOrderedSet {
 public:
  void insert(T const& v) {
    added_.push_back(v);
    if (added_.size() >= settleAt_) settle();
  }
  bool empty() const { return added_.empty() && base_.empty() && recent_.empty(); }
  std::size_t size() const {
    settle();
    return base_.size() + recent_.size();
  }
  bool contains(T const& v) const {
    settle();
    return base_.find(v) != base_.end() || recent_.find(v) != recent_.end();
  }
  // The smallest member, and its removal; the set must not be empty.
  T const& front() const { return frontRun().front(); }
  void popFront() { frontRun().popFront(); }
  // Passes the first `n` members (all, when there are fewer) to `f` in order; how many.
  template <class F>
  std::size_t forFirst(std::size_t n, F f) const {
    settle();
    auto a = base_.begin();
    auto b = recent_.begin();
    std::size_t done = 0;
    for (; done < n && (a != base_.end() || b != recent_.end()); ++done) {
      if (b == recent_.end() || (a != base_.end() && Less()(*a, *b))) {
        f(*a++);
      } else {
        f(*b++);
      }
    }
    return done;
  }
  // Cheap for the smallest member; any other moves the members after it in its run.
  void erase(T const& v) {
    if (empty()) return;
    Run& first = frontRun();
    if (equal(first.front(), v)) return first.popFront();
    for (Run* run : {&base_, &recent_}) {
      if (auto it = run->find(v); it != run->end()) return run->erase(it);
    }
  }
  void clear() {
    added_ = {};
    base_ = {};
    recent_ = {};
    settleAt_ = minSettle;
  }

 private:
  static constexpr std::size_t minSettle = 1024;

  static bool equal(T const& a, T const& b) { return !Less()(a, b) && !Less()(b, a); }

  // Sorted members, the drained ones before `head` not counted.
  class Run {
   public:
    using const_iterator = typename std::vector<T>::const_iterator;
    Run() = default;
    explicit Run(std::vector<T> items) : items_(std::move(items)) {}
    bool empty() const { return head_ == items_.size(); }
    std::size_t size() const { return items_.size() - head_; }
    T const& front() const { return items_[head_]; }
    const_iterator begin() const { return items_.begin() + static_cast<std::ptrdiff_t>(head_); }
    const_iterator end() const { return items_.end(); }
    const_iterator find(T const& v) const {
      auto const it = std::lower_bound(begin(), end(), v, Less());
      return it != end() && !Less()(v, *it) ? it : end();
    }
    void popFront() {
      if (++head_ == items_.size()) *this = {};
    }
    void erase(const_iterator it) {
      items_.erase(it);
      if (empty()) *this = {};
    }

   private:
    std::vector<T> items_;
    std::size_t head_ = 0;
  };

  Run& frontRun() const {
    settle();
    if (recent_.empty()) return base_;
    if (base_.empty() || Less()(recent_.front(), base_.front())) return recent_;
    return base_;
  }

  template <class A, class B>
  static Run merged(A const& a, B const& b) {
    std::vector<T> out;
    out.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out), Less());
    return Run(std::move(out));
  }

  // Reading a set with nothing added since costs a test, not a call.
  void settle() const {
    if (!added_.empty()) settleAdded();
  }

  // Sorts the buffer into the recent run, without duplicates or members already held.
  void settleAdded() const {
    std::sort(added_.begin(), added_.end(), Less());
    added_.erase(std::unique(added_.begin(), added_.end(), equal), added_.end());
    // Both are sorted: each search starts where the one before ended.
    auto from = recent_.begin();
    auto baseFrom = base_.begin();
    std::erase_if(added_, [&](T const& v) {
      from = std::lower_bound(from, recent_.end(), v, Less());
      baseFrom = std::lower_bound(baseFrom, base_.end(), v, Less());
      return (from != recent_.end() && !Less()(v, *from)) || (baseFrom != base_.end() && !Less()(v, *baseFrom));
    });
    recent_ = merged(recent_, added_);
    added_ = {};
    if (2 * recent_.size() >= base_.size()) {
      base_ = merged(base_, recent_);
      recent_ = {};
    }
    settleAt_ = std::max(minSettle, (base_.size() + recent_.size()) / 2);
  }

  mutable std::vector<T> added_;
  mutable Run base_;
  mutable Run recent_;
  mutable std::size_t settleAt_ = minSettle;
};

}  // namespace Quib
