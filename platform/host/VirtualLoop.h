#pragma once
// An event loop on virtual time, starting at 0: it jumps from one due moment to the next and
// never sleeps. Time moves only through advance(), runUntilIdle(), run() and addTime().
//
// advance(span) runs what falls due up to the end of the span and then leaves the clock
// there. Work charged with addTime() inside a callback may carry the clock past the end;
// it then stays there, and reactors due after the span's end wait for the next advance even
// if the clock has already passed them.

#include <cstddef>

#include "host/EventLoop.h"

namespace Quib {

class VirtualLoop : public EventLoop {
 public:
  VirtualLoop() = default;

  double now() const override { return now_; }
  void clockIs(Clock const* clock) override { clock_ = clock; }

  void advance(double seconds) override;
  bool runUntilIdle(std::size_t maxSteps = defaultMaxSteps) override;
  // Nothing outside can wake a virtual loop, so run() also ends when it is idle.
  void run() override;
  void stop() override { stopRequested_ = true; }

  void addTime(double seconds) override;
  bool isReal() const override { return false; }

 private:
  // Runs what is due at the next moment not after `limit`; false when there is none.
  bool step(double limit);
  bool idle() const;
  // True once, when a stop was asked for.
  bool takeStop();

  double now_ = 0.0;
  Clock const* clock_ = nullptr;
  bool stopRequested_ = false;
};

}  // namespace Quib
