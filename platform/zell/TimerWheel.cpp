#include "zell/TimerWheel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Zell {

namespace {

// Tolerance, in ticks, for times computed in floating point: 0.1 + 0.2 is tick 3.
constexpr double tickSlack = 1e-6;
// Far enough for any timer, small enough to stay exact as a double of ticks.
constexpr std::int64_t lastTick = std::int64_t{1} << 52;

}  // namespace

class TimerWheel::ClockReactor : public Quib::Clock::NotifieeConst {
 public:
  explicit ClockReactor(TimerWheel* wheel) : wheel_(wheel) {}
  void onTime() override { wheel_->onTick(); }

 private:
  TimerWheel* wheel_;
};

TimerWheel::TimerWheel(Quib::Ptr<Quib::Clock const> clock, std::uint32_t tickMs, std::uint64_t initialTicks,
                       bool preserveOrder, std::size_t bucketCount)
    : clock_(std::move(clock)),
      tickMs_(std::max<std::uint32_t>(tickMs, 1)),
      initialTicks_(initialTicks),
      preserveOrder_(preserveOrder),
      buckets_(std::max<std::size_t>(bucketCount, 1)),
      lists_(buckets_ + 1),
      firing_(buckets_),
      processedTick_(clock_ ? tickAtOrBefore(clock_->currentTime()) : -1),
      reactor_(std::make_unique<ClockReactor>(this)) {
  reactor_->notifierIs(clock_);
  reactor_->hasNotificationActiveIs(true);
}

TimerWheel::~TimerWheel() {
  for (Timer* t : timers_) {
    if (t->list_ != Timer::unlinked) unlink(t);
    t->wheel_ = nullptr;
  }
}

Quib::Ptr<Timer> TimerWheel::newTimer(Quib::Name name) {
  Quib::Ptr<Timer> t(new Timer(std::move(name), this));
  timers_.insert(t.ptr());
  return t;
}

std::size_t TimerWheel::bucketOf(std::int64_t tick) const {
  return static_cast<std::size_t>(static_cast<std::uint64_t>(tick) % buckets_);
}

std::int64_t TimerWheel::tickAtOrAfter(double time) const {
  double const ticks = time * 1000.0 / tickMs_;
  if (!(ticks < static_cast<double>(lastTick))) return lastTick;
  if (ticks < 0) return 0;
  return static_cast<std::int64_t>(std::ceil(ticks - tickSlack));
}

std::int64_t TimerWheel::tickAtOrBefore(double time) const {
  double const ticks = time * 1000.0 / tickMs_;
  if (!(ticks < static_cast<double>(lastTick))) return lastTick;
  if (ticks < 0) return -1;
  return static_cast<std::int64_t>(std::floor(ticks + tickSlack));
}

double TimerWheel::tickTime(std::int64_t tick) const { return static_cast<double>(tick) * tickMs_ / 1000.0; }

void TimerWheel::link(Timer* t, std::size_t list) {
  List& l = lists_[list];
  t->list_ = list;
  // Without the order promise, newest first is as good as any order.
  if (preserveOrder_ || list == firing_ || !l.head) {
    t->prev_ = l.tail;
    t->next_ = nullptr;
    (l.tail ? l.tail->next_ : l.head) = t;
    l.tail = t;
  } else {
    t->prev_ = nullptr;
    t->next_ = l.head;
    l.head->prev_ = t;
    l.head = t;
  }
  ++armed_;
}

void TimerWheel::unlink(Timer* t) {
  List& l = lists_[t->list_];
  (t->prev_ ? t->prev_->next_ : l.head) = t->next_;
  (t->next_ ? t->next_->prev_ : l.tail) = t->prev_;
  t->prev_ = t->next_ = nullptr;
  t->list_ = Timer::unlinked;
  --armed_;
}

void TimerWheel::schedule(Timer* t) {
  if (t->list_ != Timer::unlinked) unlink(t);
  if (!(t->timeMin_ < Quib::Clock::never) || !clock_) {
    if (armed_ == 0 && !processing_) reactorTickIs(noTick);
    return;
  }
  t->dueTick_ = std::max(tickAtOrAfter(t->timeMin_), tickAtOrBefore(clock_->currentTime()) + 1);
  link(t, bucketOf(t->dueTick_));
  // A disarmed earlier timer leaves the reactor early; that tick then finds nothing.
  if (!processing_ && t->dueTick_ < reactorTick_) reactorTickIs(t->dueTick_);
}

void TimerWheel::forget(Timer* t) {
  if (t->list_ != Timer::unlinked) unlink(t);
  timers_.erase(t);
  if (armed_ == 0 && !processing_) reactorTickIs(noTick);
}

void TimerWheel::reactorTickIs(std::int64_t tick) {
  reactorTick_ = tick;
  reactor_->timeMinIs(tick == noTick ? Quib::Clock::never : tickTime(tick));
}

void TimerWheel::onTick() {
  // A callback may drop the last reference to the wheel.
  Quib::Ptr<TimerWheel> keep = references() > 0 ? Quib::Ptr<TimerWheel>(this) : Quib::Ptr<TimerWheel>();
  reactorTick_ = noTick;
  std::int64_t const nowTick = tickAtOrBefore(clock_->currentTime());
  if (nowTick > processedTick_) {
    collectDue(processedTick_ + 1, nowTick);
    processedTick_ = nowTick;
  }
  processing_ = true;
  // Taken one at a time: a callback may unlink any timer still waiting here.
  while (Timer* t = lists_[firing_].head) {
    unlink(t);
    t->timeMin_ = Quib::Clock::never;
    t->notify(&Timer::NotifieeConst::onTime);
  }
  processing_ = false;
  armReactor();
}

void TimerWheel::collectDue(std::int64_t from, std::int64_t to) {
  std::vector<Timer*> due;
  auto gather = [&](std::size_t bucket) {
    for (Timer* t = lists_[bucket].head; t; t = t->next_) {
      if (t->dueTick_ <= to) due.push_back(t);
    }
  };
  if (to - from + 1 >= static_cast<std::int64_t>(buckets_)) {
    for (std::size_t b = 0; b < buckets_; ++b) gather(b);
  } else {
    for (std::int64_t tick = from; tick <= to; ++tick) gather(bucketOf(tick));
  }
  // Within a tick, bucket order is arming order; keep it.
  std::stable_sort(due.begin(), due.end(), [](Timer const* a, Timer const* b) { return a->dueTick_ < b->dueTick_; });
  for (Timer* t : due) {
    unlink(t);
    link(t, firing_);
  }
}

void TimerWheel::armReactor() {
  if (armed_ == 0) {
    reactorTickIs(noTick);
    return;
  }
  std::int64_t const first = processedTick_ + 1;
  for (std::int64_t tick = first; tick < first + static_cast<std::int64_t>(buckets_); ++tick) {
    for (Timer* t = lists_[bucketOf(tick)].head; t; t = t->next_) {
      if (t->dueTick_ != tick) continue;
      reactorTickIs(tick);
      return;
    }
  }
  // Nothing within a revolution: the nearest of the far timers.
  std::int64_t nearest = noTick;
  for (std::size_t b = 0; b < buckets_; ++b) {
    for (Timer* t = lists_[b].head; t; t = t->next_) nearest = std::min(nearest, t->dueTick_);
  }
  reactorTickIs(nearest);
}

}  // namespace Zell
