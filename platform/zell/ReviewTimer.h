#pragma once
// Paces reviews (long walks done in slices) on a clock reactor that its owner keeps: the
// owner's onTime() runs the review, and the owner sets lastReviewTime when a review ends.
//
// The pace is a token bucket. Credits accrue continuously, one per fill interval, up to
// maxCredits; the bucket starts full. doUpdateNextReview() spends a credit and schedules the
// review no sooner than minDelay after the last review ended; without a whole credit it
// waits until one has accrued, but never longer than maxDelay from the request (a review
// brought forward by that cap spends only what had accrued). A pending review is never moved
// by doUpdateNextReview(); doUpdateNextReviewImmediately() arms the reactor for now and
// spends nothing, for the next slice of a review already under way.
//
// The timer does not own the reactor and leaves it as it is when destroyed; the owner
// switches its reactor off.

#include <cstdint>
#include <tuple>

#include "quib/Clock.h"
#include "quib/ConstructorArgs.h"
#include "quib/PtrInterface.h"

namespace Zell {

class ReviewTimer : public Quib::PtrInterface {
 public:
  ReviewTimer(Quib::Clock::NotifieeConst* reactor, double fillInterval, std::uint32_t maxCredits, double minDelay,
              double maxDelay);

  // Changes the pace in place: credits accrued so far are kept (up to the new maximum), and
  // a pending review stays where it is.
  void parametersIs(double fillInterval, std::uint32_t maxCredits, double minDelay, double maxDelay);

  void doUpdateNextReview();
  void doUpdateNextReviewImmediately();
  bool reviewPending() const { return reactor_->timeMin() != Quib::Clock::never; }

  // -infinity until the owner first sets it.
  double lastReviewTime() const { return lastReviewTime_; }
  void lastReviewTimeIs(double t) { lastReviewTime_ = t; }

  Quib::Clock::NotifieeConst* reactor() const { return reactor_; }
  double fillInterval() const { return fillInterval_; }
  std::uint32_t maxCredits() const { return maxCredits_; }
  double minDelay() const { return minDelay_; }
  double maxDelay() const { return maxDelay_; }
  // Credits at the current time; below zero while a review waits for the credit it spent.
  double credits() const;

  auto constructorArgs() const {
    return std::tuple(Quib::arg("reactor", reactor_), Quib::arg("fillInterval", fillInterval_),
                      Quib::arg("maxCredits", maxCredits_), Quib::arg("minDelay", minDelay_),
                      Quib::arg("maxDelay", maxDelay_));
  }

 private:
  double now() const;
  double creditsAt(double t) const;
  void refill(double t);

  Quib::Clock::NotifieeConst* reactor_;
  double fillInterval_;
  std::uint32_t maxCredits_;
  double minDelay_;
  double maxDelay_;
  double lastReviewTime_;
  // Credits as of creditTime_.
  double credits_;
  double creditTime_;
};

}  // namespace Zell
