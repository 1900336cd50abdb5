#include "host/VirtualLoop.h"

#include <algorithm>
#include <utility>

namespace Quib {

bool VirtualLoop::step(double limit) {
  if (!clock_) return false;
  double const next = clock_->nextTime();
  if (next == Clock::never || next > limit) return false;
  now_ = std::max(now_, next);
  // When a call cost has carried the clock past the limit, what falls due between the two
  // waits for the next span.
  clock_->runDue(std::min(now_, limit));
  return true;
}

bool VirtualLoop::idle() const { return !clock_ || clock_->nextTime() == Clock::never; }

bool VirtualLoop::takeStop() { return std::exchange(stopRequested_, false); }

void VirtualLoop::advance(double seconds) {
  double const end = now_ + std::max(0.0, seconds);
  while (!stopRequested_ && step(end)) {
  }
  if (takeStop()) return;
  now_ = std::max(now_, end);
}

bool VirtualLoop::runUntilIdle(std::size_t maxSteps) {
  for (std::size_t steps = 0; steps < maxSteps && !stopRequested_; ++steps) {
    if (!step(Clock::never)) break;
  }
  if (takeStop()) return false;
  return idle();
}

void VirtualLoop::run() {
  while (!stopRequested_ && step(Clock::never)) {
  }
  takeStop();
}

void VirtualLoop::addTime(double seconds) {
  if (seconds > 0) now_ += seconds;
}

}  // namespace Quib
