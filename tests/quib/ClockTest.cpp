// The clock fires each armed reactor once, in time then arming order, and tells its loop
// when the earliest time moves earlier.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quib/Clock.h"
#include "trace/Context.h"

namespace {

class Alarm : public Quib::Clock::NotifieeConst {
 public:
  Alarm(Quib::Ptr<Quib::Clock> c, std::string tag, std::vector<std::string>* log) : tag_(std::move(tag)), log_(log) {
    notifierIs(c);
    hasNotificationActiveIs(true);
  }
  void onTime() override {
    log_->push_back(tag_);
    if (then) then();
  }
  std::function<void()> then;

 private:
  std::string tag_;
  std::vector<std::string>* log_;
};

TEST(Clock, FiresOnceInTimeThenArmingOrder) {
  double now = 0;
  int scheduleChanges = 0;
  auto clock = Quib::make<Quib::Clock>("clock", [&] { return now; });
  clock->scheduleChangedIs([&] { ++scheduleChanges; });
  std::vector<std::string> log;
  Alarm a(clock, "a", &log), b(clock, "b", &log), c(clock, "c", &log), d(clock, "d", &log);

  a.timeMinIs(2.0);
  b.timeMinIs(1.0);
  c.timeMinIs(1.0);
  d.timeMinIs(1.5);
  EXPECT_EQ(scheduleChanges, 2) << "only arming earlier than the earliest tells the loop";
  EXPECT_EQ(clock->nextTime(), 1.0);

  d.hasNotificationActiveIs(false);  // switched off when due: dropped without a callback
  // b re-arms itself for a time already due: it fires in the next run, not this one, so a
  // reactor that keeps re-arming for the present cannot spin inside one run.
  b.then = [&] {
    b.then = nullptr;
    b.timeMinIs(1.2);
  };
  clock->runDue(now = 1.5);
  EXPECT_EQ(log, (std::vector<std::string>{"b", "c"}));
  clock->runDue(now);
  EXPECT_EQ(log, (std::vector<std::string>{"b", "c", "b"}));
  EXPECT_EQ(d.timeMin(), Quib::Clock::never);
  EXPECT_EQ(b.timeMin(), Quib::Clock::never) << "a fired reactor is disarmed";

  // Disarming with +inf and destroying an armed reactor both leave nothing behind.
  log.clear();
  c.timeMinIs(5.0);
  c.timeMinIs(Quib::Clock::never);
  {
    Alarm e(clock, "e", &log);
    e.timeMinIs(3.0);
  }
  clock->runDue(now = 10.0);
  EXPECT_EQ(log, (std::vector<std::string>{"a"}));
  EXPECT_EQ(clock->nextTime(), Quib::Clock::never);
}

TEST(Clock, ATimerFiresInTheTraceContextItWasBuiltIn) {
  double now = 0;
  auto clock = Quib::make<Quib::Clock>("clock", [&] { return now; });
  std::vector<std::string> log;
  std::string seen;
  std::optional<Alarm> alarm;
  {
    Trace::ContextScope scope(Trace::context("ns=nsA"));
    alarm.emplace(clock, "a", &log);
  }
  alarm->then = [&] { seen = *Trace::currentContext(); };
  alarm->timeMinIs(1.0);
  now = 1.0;
  clock->runDue(now);
  EXPECT_EQ(seen, "ns=nsA");
  EXPECT_EQ(Trace::currentContext(), nullptr);
}

TEST(Clock, ReactorArmedBeforeAttachingArmsOnAttach) {
  double now = 0;
  auto clock = Quib::make<Quib::Clock>("clock", [&] { return now; });
  std::vector<std::string> log;
  Alarm a(nullptr, "a", &log);
  a.timeMinIs(4.0);
  EXPECT_EQ(clock->nextTime(), Quib::Clock::never);
  a.notifierIs(clock);
  EXPECT_EQ(clock->nextTime(), 4.0);
  a.notifierIs(nullptr);
  EXPECT_EQ(clock->nextTime(), Quib::Clock::never) << "detaching disarms on the old clock";
  EXPECT_EQ(a.timeMin(), 4.0);
}

}  // namespace
