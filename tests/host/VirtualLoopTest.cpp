#include "host/VirtualLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/ActivityManager.h"

namespace {

struct Firing {
  std::string name;
  double at;
  bool operator==(Firing const&) const = default;
};

std::ostream& operator<<(std::ostream& os, Firing const& f) { return os << f.name << "@" << f.at; }

class Recorder : public Quib::Clock::NotifieeConst {
 public:
  Recorder(std::string name, std::vector<Firing>& log) : name_(std::move(name)), log_(log) {
    notifierIs(Quib::activityManager()->clock());
    hasNotificationActiveIs(true);
  }
  void onTime() override {
    log_.push_back({name_, notifier()->currentTime()});
    if (then) then();
  }
  std::function<void()> then;

 private:
  std::string name_;
  std::vector<Firing>& log_;
};

TEST(VirtualLoopTest, FiresInTimeOrderThenArmingOrder) {
  struct Arm {
    std::string name;
    double at;
  };
  std::vector<Arm> const arms = {{"a", 2}, {"b", 1}, {"c", 2}, {"d", 1}, {"e", 0}, {"f", 1}};
  std::vector<Firing> const expected = {{"e", 0}, {"b", 1}, {"d", 1}, {"f", 1}, {"a", 2}, {"c", 2}};

  Quib::ActivityManager am;
  std::vector<Firing> log;
  std::vector<std::unique_ptr<Recorder>> reactors;
  for (auto const& a : arms) {
    reactors.push_back(std::make_unique<Recorder>(a.name, log));
    reactors.back()->timeMinIs(a.at);
  }
  EXPECT_TRUE(am.loop().runUntilIdle());
  EXPECT_EQ(log, expected);
  EXPECT_DOUBLE_EQ(am.currentTime(), 2.0);
}

TEST(VirtualLoopTest, AdvanceRunsWhatIsDueAndStopsAtTheSpanEnd) {
  struct Step {
    double span;
    std::vector<std::string> fired;
    double nowAfter;
  };
  std::vector<Step> const steps = {
      {0.5, {}, 0.5}, {1.5, {"one", "two"}, 2.0}, {0, {}, 2.0}, {0.25, {}, 2.25}, {0.75, {"three"}, 3.0}, {-1, {}, 3.0},
  };

  Quib::ActivityManager am;
  std::vector<Firing> log;
  Recorder one("one", log), two("two", log), three("three", log);
  one.timeMinIs(1);
  two.timeMinIs(2);
  three.timeMinIs(3);
  for (auto const& s : steps) {
    log.clear();
    am.loop().advance(s.span);
    std::vector<std::string> names;
    for (auto const& f : log) names.push_back(f.name);
    EXPECT_EQ(names, s.fired) << "span " << s.span;
    EXPECT_DOUBLE_EQ(am.currentTime(), s.nowAfter) << "span " << s.span;
  }
}

TEST(VirtualLoopTest, CallCostCarriesTheClockPastTheSpanEnd) {
  Quib::ActivityManager am;
  std::vector<Firing> log;
  Recorder costly("costly", log), late("late", log), after("after", log);
  costly.then = [&] { am.loop().addTime(2.0); };
  costly.timeMinIs(1.0);
  late.timeMinIs(2.0);
  after.timeMinIs(2.8);

  am.loop().advance(2.5);
  // Due within the span, run late; due after it, left for the next advance.
  EXPECT_EQ(log, (std::vector<Firing>{{"costly", 1.0}, {"late", 3.0}}));
  EXPECT_DOUBLE_EQ(am.currentTime(), 3.0);

  am.loop().advance(0);
  EXPECT_EQ(log.back(), (Firing{"after", 3.0}));
  EXPECT_DOUBLE_EQ(am.currentTime(), 3.0);
}

TEST(VirtualLoopTest, RunUntilIdleIsBoundedAgainstSelfRearmingTimers) {
  Quib::ActivityManager am;
  EXPECT_TRUE(am.loop().runUntilIdle());

  std::vector<Firing> log;
  Recorder ticker("ticker", log);
  ticker.then = [&] { ticker.timeMinIs(am.currentTime() + 1.0); };
  ticker.timeMinIs(1.0);

  EXPECT_FALSE(am.loop().runUntilIdle(10));
  EXPECT_EQ(log.size(), 10u);
  EXPECT_DOUBLE_EQ(am.currentTime(), 10.0);

  ticker.then = nullptr;
  EXPECT_TRUE(am.loop().runUntilIdle(10));
  EXPECT_EQ(log.size(), 11u);
}

TEST(VirtualLoopTest, StopEndsTheAdvanceAtTheCurrentStep) {
  Quib::ActivityManager am;
  std::vector<Firing> log;
  Recorder stopper("stopper", log), next("next", log);
  stopper.then = [&] { am.loop().stop(); };
  stopper.timeMinIs(1.0);
  next.timeMinIs(2.0);

  am.loop().advance(5.0);
  EXPECT_EQ(log, (std::vector<Firing>{{"stopper", 1.0}}));
  EXPECT_DOUBLE_EQ(am.currentTime(), 1.0);

  am.loop().advance(5.0);
  EXPECT_EQ(log.back(), (Firing{"next", 2.0}));
  EXPECT_DOUBLE_EQ(am.currentTime(), 6.0);
}

}  // namespace
