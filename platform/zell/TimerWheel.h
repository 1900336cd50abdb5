#pragma once
// A hashed timing wheel: many timers driven by one reactor on a clock. Time is cut into
// ticks of `tickMs` counted from the clock's time 0; a timer is due at the first tick
// boundary at or after its time, and always after the moment it was armed, so a time that
// is already due fires at the next tick. Timers sit in bucket (due tick mod bucket count)
// with their absolute due tick, so arming and disarming are O(1) and a timer more than one
// revolution away simply stays in its bucket for more rounds. The clock reactor is armed
// for the earliest pending tick only; ticks without a due timer cost nothing.
//
// With `preserveOrder`, timers due in the same tick fire in the order they were armed.
// When the clock jumps several ticks at once, the due timers fire in tick order.
//
// Timer callbacks may arm, disarm or destroy any timer, and drop the wheel: a timer
// destroyed or re-armed before its turn in the current tick does not fire in it. Destroying
// the wheel leaves its timers inert.
//
// `initialTicks` is the span the owner expects to cover (a sizing hint kept for its
// readers): with rounds, any distance works with `bucketCount` buckets.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

#include "quib/Clock.h"
#include "quib/Ptr.h"
#include "quib/PtrInterface.h"
#include "zell/Timer.h"

namespace Zell {

class TimerWheel : public Quib::PtrInterface {
 public:
  TimerWheel(Quib::Ptr<Quib::Clock const> clock, std::uint32_t tickMs, std::uint64_t initialTicks,
             bool preserveOrder, std::size_t bucketCount = 1024);

  Quib::Ptr<Timer> newTimer(Quib::Name name);

  Quib::Ptr<Quib::Clock const> const& clock() const { return clock_; }
  std::uint32_t tickMs() const { return tickMs_; }
  std::uint64_t initialTicks() const { return initialTicks_; }
  bool preserveOrder() const { return preserveOrder_; }
  std::size_t bucketCount() const { return buckets_; }
  // Timers armed and not yet fired.
  std::size_t armed() const { return armed_; }

 protected:
  ~TimerWheel() override;

 private:
  friend class Timer;
  class ClockReactor;
  struct List {
    Timer* head = nullptr;
    Timer* tail = nullptr;
  };
  static constexpr std::int64_t noTick = std::numeric_limits<std::int64_t>::max();

  void schedule(Timer* t);
  void forget(Timer* t);
  void onTick();
  void collectDue(std::int64_t from, std::int64_t to);
  void armReactor();
  void reactorTickIs(std::int64_t tick);

  void link(Timer* t, std::size_t list);
  void unlink(Timer* t);
  std::size_t bucketOf(std::int64_t tick) const;
  std::int64_t tickAtOrAfter(double time) const;
  std::int64_t tickAtOrBefore(double time) const;
  double tickTime(std::int64_t tick) const;

  Quib::Ptr<Quib::Clock const> clock_;
  std::uint32_t tickMs_;
  std::uint64_t initialTicks_;
  bool preserveOrder_;
  std::size_t buckets_;
  // One list per bucket, then the list of timers being fired.
  std::vector<List> lists_;
  std::size_t const firing_;
  std::unordered_set<Timer*> timers_;
  std::size_t armed_ = 0;
  // Every tick up to this one has been fired.
  std::int64_t processedTick_;
  std::int64_t reactorTick_ = noTick;
  bool processing_ = false;
  std::unique_ptr<ClockReactor> reactor_;
};

}  // namespace Zell
