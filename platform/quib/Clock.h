#pragma once
// The clock of an activity manager. A reactor on it sets `timeMin` and gets `onTime()`
// once when the clock reaches that time; +infinity (the default) disarms it. Reactors due
// at the same time fire in the order they were armed. A reactor that is switched off when
// its time comes is disarmed without a callback.
//
// The clock does not run by itself: its event loop asks for `nextTime()` and calls
// `runDue()`; the clock tells the loop when `nextTime()` may have moved earlier.

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string_view>

#include "quib/Entity.h"
#include "quib/NotifieeBase.h"

namespace Quib {

class Clock : public Entity {
 public:
  static constexpr std::string_view type = "Quib::Clock";
  static constexpr double never = std::numeric_limits<double>::infinity();

  class NotifieeConst : public NotifieeBase<Clock> {
   public:
    NotifieeConst() = default;
    ~NotifieeConst() override;
    double timeMin() const { return timeMin_; }
    void timeMinIs(double t);
    virtual void onTime() {}

   protected:
    void notifierChanged() override;

   private:
    friend class Clock;
    void disarm();
    double timeMin_ = never;
    Clock const* armedOn_ = nullptr;
    std::multimap<double, NotifieeConst*>::iterator slot_;
    std::uint64_t armedAs_ = 0;
  };

  Clock(Name name, std::function<double()> now) : Entity(std::move(name)), now_(std::move(now)) {}
  ~Clock() override;
  std::string_view typeName() const override { return type; }

  double currentTime() const { return now_(); }
  double nextTime() const { return schedule_.empty() ? never : schedule_.begin()->first; }
  // Fires, in order, every reactor that was armed when the call began and is due at or
  // before `now`. Reactors armed by the callbacks wait for the next call, so a reactor that
  // re-arms itself for the present cannot spin here; the loop's step bound sees it.
  void runDue(double now) const;
  void scheduleChangedIs(std::function<void()> f) { scheduleChanged_ = std::move(f); }

 private:
  void arm(NotifieeConst* r) const;
  void disarm(NotifieeConst* r) const;

  std::function<double()> now_;
  std::function<void()> scheduleChanged_;
  mutable std::multimap<double, NotifieeConst*> schedule_;
  mutable std::uint64_t arms_ = 0;
};

}  // namespace Quib
