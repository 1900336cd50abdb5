#pragma once
// The real event loop: epoll with one timerfd, on CLOCK_MONOTONIC seconds. The timerfd is
// armed for the earlier of the clock's next reactor and the end of the current span, so the
// loop sleeps until something is due or a registered descriptor is readable. A signal that
// interrupts the wait only makes it wait again.
//
// Descriptors are registered with a callback run when they are readable (the daemon's
// control socket, a signalfd that calls stop()) and, when asked, writable. A callback may register or remove
// descriptors, its own included. The loop does not own the descriptors it is given.
//
// Set-up failures of epoll or the timerfd throw std::system_error; they are fatal for a host.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "host/EventLoop.h"

namespace Quib {

class EpollLoop : public EventLoop {
 public:
  EpollLoop();
  ~EpollLoop() override;

  double now() const override;
  void clockIs(Clock const* clock) override { clock_ = clock; }

  void advance(double seconds) override;
  bool runUntilIdle(std::size_t maxSteps = defaultMaxSteps) override;
  void run() override;
  void stop() override { stopRequested_ = true; }

  // Real time passes on its own.
  void addTime(double) override {}
  bool isReal() const override { return true; }

  // Replaces any callback already registered for `fd`.
  void readerIs(int fd, std::function<void()> onReadable);
  void readerDel(int fd);
  // Also runs the reader's callback while `fd` is writable; for a peer whose replies wait
  // for room in its socket.
  void writeWantedIs(int fd, bool wanted);
  // Stops (or resumes) running the callback for readability; for a peer whose end of the
  // stream has been read, which stays readable for ever. Hang-ups and errors still run it.
  void readWantedIs(int fd, bool wanted);
  bool hasReader(int fd) const { return readers_.count(fd) != 0; }
  // Serves the descriptors that are ready now, without waiting for any.
  void serveReady() { waitAndServe(now()); }

 private:
  using Callback = std::shared_ptr<std::function<void()>>;

  void runDue() const;
  bool idle() const;
  // Waits until `deadline` (absolute; never waits for readers only) and serves what is ready.
  void waitAndServe(double deadline);
  void timerIs(double deadline);
  bool takeStop();
  void interestIs(int fd, std::uint32_t event, bool wanted);

  int epollFd_ = -1;
  int timerFd_ = -1;
  double timerArmedFor_ = Clock::never;
  Clock const* clock_ = nullptr;
  bool stopRequested_ = false;
  std::unordered_map<int, Callback> readers_;
  std::unordered_map<int, std::uint32_t> interest_;  // the epoll events of each reader
};

}  // namespace Quib
