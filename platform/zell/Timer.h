#pragma once
// A one-shot timer on a TimerWheel. `timeMinIs(t)` arms it and its reactors get `onTime()`
// once, at the wheel's first tick boundary at or after t that lies after the moment of
// arming (never inside timeMinIs itself); +infinity disarms it. Re-arming replaces the
// earlier time and counts as a new arming for the order of timers due in the same tick.
//
// A timer may outlive its wheel: it then records what it is told and never fires.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "quib/Clock.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"

namespace Zell {

class TimerWheel;

class Timer : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Zell::Timer";

  class NotifieeConst : public Quib::NotifieeBase<Timer> {
   public:
    virtual void onTime() {}
  };

  std::string_view typeName() const override { return type; }

  double timeMin() const { return timeMin_; }
  void timeMinIs(double t);
  TimerWheel* wheel() const { return wheel_; }

 protected:
  ~Timer() override;

 private:
  friend class TimerWheel;
  // Only a wheel makes timers, so that it knows every one it must leave inert when it goes.
  Timer(Quib::Name name, TimerWheel* wheel) : Quib::Entity(std::move(name)), wheel_(wheel) {}

  static constexpr std::size_t unlinked = std::numeric_limits<std::size_t>::max();

  TimerWheel* wheel_;
  double timeMin_ = Quib::Clock::never;
  // Kept by the wheel: the list the timer is in (a bucket, or the timers being fired),
  // its neighbours there, and the tick it is due at.
  std::size_t list_ = unlinked;
  Timer* prev_ = nullptr;
  Timer* next_ = nullptr;
  std::int64_t dueTick_ = 0;
};

}  // namespace Zell
