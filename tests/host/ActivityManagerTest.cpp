#include "host/ActivityManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "host/ActivityFacility.h"
#include "host/EpollLoop.h"
#include "quib/System.h"

namespace {

TEST(ActivityManagerTest, TheLatestLivingManagerIsCurrent) {
  EXPECT_EQ(Quib::activityManager(), nullptr);
  EXPECT_DOUBLE_EQ(Quib::System::currentTime(), 0.0);
  EXPECT_THROW(Quib::ActivityFacility::activityManagerConfig(), std::logic_error);

  Quib::ActivityManager outer;
  outer.loop().advance(5.0);
  {
    Quib::ActivityManager inner;
    EXPECT_EQ(Quib::activityManager(), &inner);
    inner.loop().advance(1.0);
    EXPECT_DOUBLE_EQ(Quib::System::currentTime(), 1.0);
  }
  EXPECT_EQ(Quib::activityManager(), &outer);
  EXPECT_DOUBLE_EQ(Quib::System::currentTime(), 5.0);

  // Out of order: the middle one goes first.
  auto middle = std::make_unique<Quib::ActivityManager>();
  auto top = std::make_unique<Quib::ActivityManager>();
  middle.reset();
  EXPECT_EQ(Quib::activityManager(), top.get());
  top.reset();
  EXPECT_EQ(Quib::activityManager(), &outer);
}

TEST(ActivityManagerTest, ConfigGivesTheClockAndRecordsTheEpollWish) {
  struct Case {
    bool real;
    bool useEpollAtStart;
  };
  for (Case const c : {Case{false, false}, Case{true, true}}) {
    auto am = c.real ? std::make_unique<Quib::ActivityManager>(std::make_unique<Quib::EpollLoop>())
                     : std::make_unique<Quib::ActivityManager>();
    auto& config = Quib::ActivityFacility::activityManagerConfig();
    EXPECT_EQ(&config, &am->config());
    EXPECT_EQ(config.clock(), am->clock());
    EXPECT_EQ(config.useEpoll(), c.useEpollAtStart);
    config.useEpollIs(true);
    EXPECT_TRUE(am->config().useEpoll());
    EXPECT_EQ(am->loop().isReal(), c.real) << "the loop is the host's choice";
  }
}

TEST(ActivityManagerTest, ClockOutlivesItsManager) {
  Quib::Ptr<Quib::Clock const> clock;
  {
    Quib::ActivityManager am;
    am.loop().advance(7.0);
    clock = am.clock();
  }
  EXPECT_DOUBLE_EQ(clock->currentTime(), 7.0);
}

}  // namespace
