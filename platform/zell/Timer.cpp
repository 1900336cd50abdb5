#include "zell/Timer.h"

#include "zell/TimerWheel.h"

namespace Zell {

Timer::~Timer() {
  if (wheel_) wheel_->forget(this);
}

void Timer::timeMinIs(double t) {
  timeMin_ = t;
  if (wheel_) wheel_->schedule(this);
}

}  // namespace Zell
