#include "zell/ReviewTimer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ActivityManager.h"

namespace {

struct Pace {
  double fillInterval;
  std::uint32_t maxCredits;
  double minDelay;
  double maxDelay;
};

constexpr Pace routeReview{1.0, 4, 0.1, 5.0};
constexpr Pace vifReview{1.0, 4, 0.01, 0.05};

enum class Op { request, immediate, chain, lastReviewAt, pace };

struct Step {
  double at;
  Op op;
  double value = 0;  // chain: further requests, one after each review; lastReviewAt: the time
  Pace pace = {};
};

// The owner's reactor: a review takes no time, ends where it started, and may ask for the
// next one as a walk with more work would.
class Reviewer : public Quib::Clock::NotifieeConst {
 public:
  void onTime() override {
    double const now = notifier()->currentTime();
    reviews.push_back(now);
    timer->lastReviewTimeIs(now);
    if (chain == 0) return;
    --chain;
    timer->doUpdateNextReview();
  }
  Quib::Ptr<Zell::ReviewTimer> timer;
  std::vector<double> reviews;
  int chain = 0;
};

TEST(ReviewTimerTest, PacesRequestsWithCreditsAndDelays) {
  struct Case {
    std::string name;
    Pace pace;
    std::vector<Step> steps;
    std::vector<double> reviews;
  };
  std::vector<Case> const cases = {
      {"four credits at once, then one per fill interval",
       routeReview,
       {{0, Op::chain, 6}, {0, Op::request}},
       {0, 0.1, 0.2, 0.3, 1.0, 2.0, 3.0}},
      {"minDelay after the last review ended",
       routeReview,
       {{5.0, Op::lastReviewAt, 5.0}, {5.02, Op::request}, {5.15, Op::request}, {6.0, Op::request}},
       {5.1, 5.2, 6.0}},
      {"maxDelay caps the wait for a credit, without running into debt",
       vifReview,
       {{0, Op::chain, 5}, {0, Op::request}, {1.63, Op::chain, 1}, {1.63, Op::request}},
       {0, 0.01, 0.02, 0.03, 0.08, 0.13, 1.63, 1.68}},
      {"immediate reviews spend no credit and ignore minDelay",
       routeReview,
       {{0, Op::immediate},
        {0.01, Op::immediate},
        {0.02, Op::immediate},
        {0.03, Op::immediate},
        {0.04, Op::immediate},
        {0.05, Op::chain, 4},
        {0.05, Op::request}},
       {0, 0.01, 0.02, 0.03, 0.04, 0.14, 0.24, 0.34, 0.44, 1.05}},
      {"a request while a review is pending changes nothing",
       routeReview,
       {{0, Op::request}, {0.02, Op::request}, {0.05, Op::request}, {0.05, Op::chain, 3}},
       {0, 0.1, 0.2, 0.3, 1.0}},
      {"immediate brings a review waiting for a credit forward",
       routeReview,
       {{0, Op::chain, 4}, {0, Op::request}, {0.5, Op::immediate}},
       {0, 0.1, 0.2, 0.3, 0.5}},
      {"a new pace applies in place, keeping the credits",
       routeReview,
       {{0, Op::chain, 2}, {0, Op::request}, {0.25, Op::pace, 0, vifReview}, {0.25, Op::chain, 3}, {0.25, Op::request}},
       {0, 0.1, 0.2, 0.25, 0.30, 0.35, 0.40}},
  };

  for (auto const& c : cases) {
    Quib::ActivityManager am;
    Reviewer reviewer;
    reviewer.notifierIs(am.clock());
    reviewer.hasNotificationActiveIs(true);
    reviewer.timer = Quib::make<Zell::ReviewTimer>(&reviewer, c.pace.fillInterval, c.pace.maxCredits,
                                                   c.pace.minDelay, c.pace.maxDelay);
    for (auto const& s : c.steps) {
      am.loop().advance(s.at - am.currentTime());
      switch (s.op) {
        case Op::request:
          reviewer.timer->doUpdateNextReview();
          break;
        case Op::immediate:
          reviewer.timer->doUpdateNextReviewImmediately();
          break;
        case Op::chain:
          reviewer.chain = static_cast<int>(s.value);
          break;
        case Op::lastReviewAt:
          reviewer.timer->lastReviewTimeIs(s.value);
          break;
        case Op::pace:
          reviewer.timer->parametersIs(s.pace.fillInterval, s.pace.maxCredits, s.pace.minDelay, s.pace.maxDelay);
          break;
      }
    }
    am.loop().advance(20.0);
    EXPECT_FALSE(reviewer.timer->reviewPending()) << c.name;
    ASSERT_EQ(reviewer.reviews.size(), c.reviews.size()) << c.name;
    for (std::size_t i = 0; i < c.reviews.size(); ++i) {
      EXPECT_NEAR(reviewer.reviews[i], c.reviews[i], 1e-9) << c.name << ", review " << i;
    }
  }
}

}  // namespace
