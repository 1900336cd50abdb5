#include "zell/ReviewTimer.h"

#include <algorithm>
#include <limits>

#include "quib/System.h"

namespace Zell {

ReviewTimer::ReviewTimer(Quib::Clock::NotifieeConst* reactor, double fillInterval, std::uint32_t maxCredits,
                         double minDelay, double maxDelay)
    : reactor_(reactor),
      fillInterval_(fillInterval),
      maxCredits_(maxCredits),
      minDelay_(minDelay),
      maxDelay_(maxDelay),
      lastReviewTime_(-std::numeric_limits<double>::infinity()),
      credits_(maxCredits),
      creditTime_(now()) {}

double ReviewTimer::now() const {
  auto const& clock = reactor_->notifier();
  return clock ? clock->currentTime() : Quib::System::currentTime();
}

double ReviewTimer::creditsAt(double t) const {
  double const cap = maxCredits_;
  if (t <= creditTime_) return credits_;
  if (fillInterval_ <= 0) return cap;
  return std::min(cap, credits_ + (t - creditTime_) / fillInterval_);
}

void ReviewTimer::refill(double t) {
  credits_ = creditsAt(t);
  creditTime_ = std::max(creditTime_, t);
}

double ReviewTimer::credits() const { return creditsAt(now()); }

void ReviewTimer::parametersIs(double fillInterval, std::uint32_t maxCredits, double minDelay, double maxDelay) {
  refill(now());
  fillInterval_ = fillInterval;
  maxCredits_ = maxCredits;
  minDelay_ = minDelay;
  maxDelay_ = maxDelay;
  credits_ = std::min(credits_, static_cast<double>(maxCredits_));
}

void ReviewTimer::doUpdateNextReview() {
  if (reviewPending()) return;
  double const t = now();
  refill(t);
  double at = std::max(t, lastReviewTime_ + minDelay_);
  if (credits_ < 1.0) at = std::max(at, t + (1.0 - credits_) * std::max(fillInterval_, 0.0));
  at = std::min(at, t + maxDelay_);
  // The credit is spent now. A review brought forward by maxDelay leaves the bucket empty
  // at its time, not in debt.
  double const atReview = creditsAt(at);
  credits_ = std::max(credits_ - 1.0, std::min(atReview, 0.0) - (atReview - credits_));
  reactor_->timeMinIs(at);
}

void ReviewTimer::doUpdateNextReviewImmediately() {
  double const t = now();
  if (reactor_->timeMin() <= t) return;
  reactor_->timeMinIs(t);
}

}  // namespace Zell
