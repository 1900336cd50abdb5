#pragma once
// The event loop of an activity manager: it runs the reactors of one clock when they fall
// due and tells that clock what time it is. A virtual loop (tests, scripts) moves time only
// when told to; the real loop (the daemon) waits on epoll. Everything runs on the thread
// that runs the loop.
//
// A step runs every reactor due at one moment. Bounding steps rather than time keeps a
// timer that re-arms itself from hanging runUntilIdle.

#include <cstddef>

#include "quib/Clock.h"

namespace Quib {

class EventLoop {
 public:
  static constexpr std::size_t defaultMaxSteps = 1'000'000;

  EventLoop() = default;
  EventLoop(EventLoop const&) = delete;
  EventLoop& operator=(EventLoop const&) = delete;
  virtual ~EventLoop() = default;

  // Seconds.
  virtual double now() const = 0;
  // The clock whose reactors this loop runs; null unbinds it.
  virtual void clockIs(Clock const* clock) = 0;

  // Lets `seconds` pass, running every reactor due within them, in time order.
  virtual void advance(double seconds) = 0;
  // Runs until no reactor is armed. False when `maxSteps` steps ran first, or stop() ended it.
  virtual bool runUntilIdle(std::size_t maxSteps = defaultMaxSteps) = 0;
  // Runs until stop().
  virtual void run() = 0;
  // Ends the run in progress after its current step. Called outside a run, it ends the next
  // one at once.
  virtual void stop() = 0;

  // Charges `seconds` of work done inside a callback, such as a kernel call's cost. Virtual
  // time moves on; real time passes by itself, so the real loop ignores it.
  virtual void addTime(double seconds) = 0;
  virtual bool isReal() const = 0;
};

}  // namespace Quib
