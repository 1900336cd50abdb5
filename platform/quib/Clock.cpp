#include "quib/Clock.h"

#include <cassert>

namespace Quib {

Clock::~Clock() { assert(schedule_.empty()); }

void Clock::arm(NotifieeConst* r) const {
  bool const earlier = r->timeMin_ < nextTime();
  r->slot_ = schedule_.emplace(r->timeMin_, r);
  r->armedOn_ = this;
  r->armedAs_ = arms_++;
  if (earlier && scheduleChanged_) scheduleChanged_();
}

void Clock::disarm(NotifieeConst* r) const {
  schedule_.erase(r->slot_);
  r->armedOn_ = nullptr;
}

void Clock::runDue(double now) const {
  Ptr<Clock const> keep = references() > 0 ? Ptr<Clock const>(this) : Ptr<Clock const>();
  std::uint64_t const armedBefore = arms_;
  while (!schedule_.empty() && schedule_.begin()->first <= now) {
    NotifieeConst* r = schedule_.begin()->second;
    if (r->armedAs_ >= armedBefore) break;
    disarm(r);
    r->timeMin_ = never;
    if (!r->isNotificationActive()) continue;
    Trace::ContextScope const context(r->traceContext());
    r->onTime();
  }
}

Clock::NotifieeConst::~NotifieeConst() { disarm(); }

void Clock::NotifieeConst::disarm() {
  if (armedOn_) armedOn_->disarm(this);
}

void Clock::NotifieeConst::timeMinIs(double t) {
  disarm();
  timeMin_ = t;
  if (t != never && notifier()) notifier()->arm(this);
}

void Clock::NotifieeConst::notifierChanged() {
  disarm();
  if (timeMin_ != never && notifier()) notifier()->arm(this);
}

}  // namespace Quib
