#include "zell/TimerWheel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/ActivityManager.h"

namespace {

struct Firing {
  std::string name;
  double at;
};

// A timer with the reactor that records its firings.
class Recorded : public Zell::Timer::NotifieeConst {
 public:
  Recorded(Zell::TimerWheel& wheel, std::string name, std::vector<Firing>& log)
      : timer(wheel.newTimer(name)), name_(std::move(name)), log_(log) {
    notifierIs(timer);
    hasNotificationActiveIs(true);
  }
  void onTime() override {
    log_.push_back({name_, Quib::activityManager()->currentTime()});
    if (then) then();
  }
  Quib::Ptr<Zell::Timer> timer;
  std::function<void()> then;

 private:
  std::string name_;
  std::vector<Firing>& log_;
};

struct Fixture {
  Quib::ActivityManager am;
  Quib::Ptr<Zell::TimerWheel> wheel = Quib::make<Zell::TimerWheel>(am.clock(), 100, 655350, true, 1024);
  std::vector<Firing> log;

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (auto const& f : log) out.push_back(f.name);
    return out;
  }
};

TEST(TimerWheelTest, FiresAtTheFirstTickBoundaryAfterArming) {
  struct Row {
    double armAt;
    double time;
    double fires;
  };
  // 1024 buckets of 0.1 s: 102.4 s is one revolution.
  std::vector<Row> const rows = {
      {0, 0.0, 0.1},          // due when armed: the next tick, never at once
      {0, 0.05, 0.1},         {0, 0.1, 0.1},     {0, 0.1 + 0.2, 0.3}, {0, 0.30001, 0.4},
      {0, 0.2, 0.2},          {0, 0.5, 0.5},     {0, 1.0, 1.0},
      {0, 102.35, 102.4},     // bucket 0, a revolution on
      {0, 102.6, 102.6},      // bucket 2, shared with 0.2
      {0, 205.0, 205.0},      {0, 1e6, 1e6},
      {0.25, -1.0, 0.3},      // already due when armed between ticks
      {0.25, 0.2, 0.3},
      {0.25, 0.25, 0.3},      {0.25, 0.3, 0.3},
      {0.5, 0.45, 0.6},       // armed at a boundary the wheel has just fired
      {0.5, 0.5, 0.6},
  };

  Fixture f;
  std::vector<std::unique_ptr<Recorded>> timers;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    f.am.loop().advance(rows[i].armAt - f.am.currentTime());
    timers.push_back(std::make_unique<Recorded>(*f.wheel, std::to_string(i), f.log));
    timers.back()->timer->timeMinIs(rows[i].time);
    EXPECT_TRUE(std::none_of(f.log.begin(), f.log.end(), [&](Firing const& x) { return x.name == std::to_string(i); }))
        << "row " << i << " fired inside timeMinIs";
  }
  EXPECT_TRUE(f.am.loop().runUntilIdle());

  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<double> fired;
    for (auto const& x : f.log) {
      if (x.name == std::to_string(i)) fired.push_back(x.at);
    }
    ASSERT_EQ(fired.size(), 1u) << "row " << i;
    EXPECT_DOUBLE_EQ(fired[0], rows[i].fires) << "row " << i << ": armed at " << rows[i].armAt << " for "
                                              << rows[i].time;
    EXPECT_EQ(timers[i]->timer->timeMin(), Quib::Clock::never) << "row " << i;
  }
  EXPECT_EQ(f.wheel->armed(), 0u);
  EXPECT_EQ(f.am.clock()->nextTime(), Quib::Clock::never);
}

TEST(TimerWheelTest, SameTickTimersFireInArmingOrder) {
  Fixture f;
  Recorded a(*f.wheel, "a", f.log), b(*f.wheel, "b", f.log), c(*f.wheel, "c", f.log), d(*f.wheel, "d", f.log),
      e(*f.wheel, "e", f.log);
  a.timer->timeMinIs(0.25);
  b.timer->timeMinIs(0.21);
  c.timer->timeMinIs(0.3);
  d.timer->timeMinIs(0.22);
  e.timer->timeMinIs(0.15);
  a.timer->timeMinIs(0.29);  // re-armed: now the newest of its tick

  f.am.loop().runUntilIdle();
  EXPECT_EQ(f.names(), (std::vector<std::string>{"e", "b", "c", "d", "a"}));
  EXPECT_DOUBLE_EQ(f.log.front().at, 0.2);
  EXPECT_DOUBLE_EQ(f.log.back().at, 0.3);
}

TEST(TimerWheelTest, AClockJumpOverManyRevolutionsFiresInTickOrder) {
  Fixture f;
  Recorded jump(*f.wheel, "jump", f.log), p(*f.wheel, "p", f.log), q(*f.wheel, "q", f.log), r(*f.wheel, "r", f.log),
      s(*f.wheel, "s", f.log);
  jump.then = [&] { f.am.loop().addTime(200.0); };
  jump.timer->timeMinIs(0.1);
  p.timer->timeMinIs(102.5);  // tick 1025, bucket 1
  q.timer->timeMinIs(0.3);    // tick 3
  r.timer->timeMinIs(40.0);   // tick 400
  s.timer->timeMinIs(0.3);

  f.am.loop().runUntilIdle();
  EXPECT_EQ(f.names(), (std::vector<std::string>{"jump", "q", "s", "r", "p"}));
  EXPECT_DOUBLE_EQ(f.log.back().at, 200.1);
}

TEST(TimerWheelTest, DisarmedTimersDoNotFireAndAnEmptyWheelLeavesTheClockIdle) {
  Fixture f;
  Recorded a(*f.wheel, "a", f.log), b(*f.wheel, "b", f.log);
  a.timer->timeMinIs(0.5);
  EXPECT_DOUBLE_EQ(f.am.clock()->nextTime(), 0.5);
  a.timer->timeMinIs(Quib::Clock::never);
  EXPECT_EQ(f.am.clock()->nextTime(), Quib::Clock::never);
  EXPECT_EQ(f.wheel->armed(), 0u);

  a.timer->timeMinIs(0.5);
  b.timer->timeMinIs(0.5);
  a.timer->timeMinIs(Quib::Clock::never);
  f.am.loop().runUntilIdle();
  EXPECT_EQ(f.names(), (std::vector<std::string>{"b"}));
}

TEST(TimerWheelTest, CallbacksMayRearmAndDestroyTimersOfTheSameTick) {
  Fixture f;
  auto a = std::make_unique<Recorded>(*f.wheel, "a", f.log);
  auto b = std::make_unique<Recorded>(*f.wheel, "b", f.log);
  auto c = std::make_unique<Recorded>(*f.wheel, "c", f.log);
  a->then = [&] {
    if (f.log.size() > 1) return;
    b.reset();
    c->timer->timeMinIs(0.5);
    a->timer->timeMinIs(0.3);  // its own tick is under way: the next one
  };
  a->timer->timeMinIs(0.3);
  b->timer->timeMinIs(0.3);
  c->timer->timeMinIs(0.3);

  f.am.loop().runUntilIdle();
  ASSERT_EQ(f.names(), (std::vector<std::string>{"a", "a", "c"}));
  EXPECT_DOUBLE_EQ(f.log[0].at, 0.3);
  EXPECT_DOUBLE_EQ(f.log[1].at, 0.4);
  EXPECT_DOUBLE_EQ(f.log[2].at, 0.5);
}

TEST(TimerWheelTest, TimersOutliveTheirWheelInert) {
  Fixture f;
  Recorded a(*f.wheel, "a", f.log), b(*f.wheel, "b", f.log), late(*f.wheel, "late", f.log);
  // The owner lets go of the wheel from a callback; the tick under way completes.
  a.then = [&] { f.wheel = nullptr; };
  a.timer->timeMinIs(0.3);
  b.timer->timeMinIs(0.3);
  late.timer->timeMinIs(1.0);

  f.am.loop().runUntilIdle();
  EXPECT_EQ(f.names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(late.timer->wheel(), nullptr);
  late.timer->timeMinIs(2.0);
  EXPECT_DOUBLE_EQ(late.timer->timeMin(), 2.0);
  EXPECT_TRUE(f.am.loop().runUntilIdle());
  EXPECT_EQ(f.log.size(), 2u);
}

}  // namespace
