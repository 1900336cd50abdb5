#include "host/EpollLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>

#include "host/ActivityManager.h"

namespace {

// Real time: every wait is bounded by a short span, and the callbacks stop the loop early.
constexpr double bound = 1.0;

class Stopper : public Quib::Clock::NotifieeConst {
 public:
  void onTime() override {
    firedAt = notifier()->currentTime();
    Quib::activityManager()->loop().stop();
  }
  double firedAt = Quib::Clock::never;
};

TEST(EpollLoopTest, FiresAClockReactorOnTheTimerfd) {
  Quib::ActivityManager am(std::make_unique<Quib::EpollLoop>());
  Stopper stopper;
  stopper.notifierIs(am.clock());
  stopper.hasNotificationActiveIs(true);
  double const start = am.currentTime();
  stopper.timeMinIs(start + 0.005);

  am.loop().advance(bound);
  EXPECT_GE(stopper.firedAt, start + 0.005);
  EXPECT_LT(am.currentTime(), start + bound) << "the reactor's stop() ended the span early";
  EXPECT_TRUE(am.loop().runUntilIdle());
}

TEST(EpollLoopTest, ServesReadableDescriptorsAndSpansWithoutEvents) {
  auto owned = std::make_unique<Quib::EpollLoop>();
  Quib::EpollLoop& loop = *owned;
  Quib::ActivityManager am(std::move(owned));
  std::array<int, 2> fds{};
  ASSERT_EQ(pipe(fds.data()), 0);
  int reads = 0;
  loop.readerIs(fds[0], [&] {
    char c = 0;
    reads += static_cast<int>(read(fds[0], &c, 1));
    loop.readerDel(fds[0]);
    loop.stop();
  });

  EXPECT_EQ(write(fds[1], "x", 1), 1);
  double const start = am.currentTime();
  loop.advance(bound);
  EXPECT_EQ(reads, 1);
  EXPECT_LT(am.currentTime(), start + bound);
  EXPECT_FALSE(loop.hasReader(fds[0]));

  // Removed from inside its own callback: a further byte is not served, and the span
  // runs to its end.
  EXPECT_EQ(write(fds[1], "x", 1), 1);
  double const again = am.currentTime();
  loop.advance(0.01);
  EXPECT_EQ(reads, 1);
  EXPECT_GE(am.currentTime(), again + 0.01);
  close(fds[0]);
  close(fds[1]);
}

TEST(EpollLoopTest, ReadabilityCanBeSetAsideWhileWritabilityIsWanted) {
  Quib::EpollLoop loop;
  std::array<int, 2> fds{};
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds.data()), 0);
  int calls = 0;
  loop.readerIs(fds[0], [&] { ++calls; });
  ASSERT_EQ(shutdown(fds[1], SHUT_WR), 0);  // readable for ever: end of stream

  loop.serveReady();
  EXPECT_EQ(calls, 1);
  loop.readWantedIs(fds[0], false);
  loop.serveReady();
  EXPECT_EQ(calls, 1) << "the end of stream no longer wakes it";
  loop.writeWantedIs(fds[0], true);
  loop.serveReady();
  EXPECT_EQ(calls, 2) << "writable";
  loop.writeWantedIs(fds[0], false);
  loop.serveReady();
  EXPECT_EQ(calls, 2) << "neither wanted";
  loop.readWantedIs(fds[0], true);
  loop.serveReady();
  EXPECT_EQ(calls, 3);
  loop.readerDel(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
