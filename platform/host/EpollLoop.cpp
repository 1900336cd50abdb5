#include "host/EpollLoop.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <system_error>
#include <utility>

namespace Quib {

namespace {

[[noreturn]] void throwErrno(char const* what) { throw std::system_error(errno, std::generic_category(), what); }

// Rounded up, so the timer never expires before the moment asked for.
timespec toTimespec(double seconds) {
  double const whole = std::floor(seconds);
  auto nanos = static_cast<long>(std::ceil((seconds - whole) * 1e9));
  auto secs = static_cast<time_t>(whole);
  if (nanos >= 1'000'000'000L) {
    ++secs;
    nanos -= 1'000'000'000L;
  }
  return timespec{secs, nanos};
}

}  // namespace

EpollLoop::EpollLoop() {
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) throwErrno("epoll_create1");
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (timerFd_ < 0) {
    int const saved = errno;
    close(epollFd_);
    errno = saved;
    throwErrno("timerfd_create");
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = timerFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, timerFd_, &ev) < 0) {
    int const saved = errno;
    close(timerFd_);
    close(epollFd_);
    errno = saved;
    throwErrno("epoll_ctl timerfd");
  }
}

EpollLoop::~EpollLoop() {
  close(timerFd_);
  close(epollFd_);
}

double EpollLoop::now() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void EpollLoop::readerIs(int fd, std::function<void()> onReadable) {
  auto callback = std::make_shared<std::function<void()>>(std::move(onReadable));
  if (auto it = readers_.find(fd); it != readers_.end()) {
    it->second = std::move(callback);
    return;
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) < 0) throwErrno("epoll_ctl add");
  readers_.emplace(fd, std::move(callback));
  interest_[fd] = EPOLLIN;
}

void EpollLoop::readerDel(int fd) {
  if (readers_.erase(fd) == 0) return;
  interest_.erase(fd);
  // The descriptor may already be closed, which removed it from the set.
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

void EpollLoop::writeWantedIs(int fd, bool wanted) { interestIs(fd, EPOLLOUT, wanted); }

void EpollLoop::readWantedIs(int fd, bool wanted) { interestIs(fd, EPOLLIN, wanted); }

void EpollLoop::interestIs(int fd, std::uint32_t event, bool wanted) {
  auto it = interest_.find(fd);
  if (it == interest_.end()) return;
  std::uint32_t const events = wanted ? (it->second | event) : (it->second & ~event);
  if (events == it->second) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev) < 0) throwErrno("epoll_ctl mod");
  it->second = events;
}

void EpollLoop::runDue() const {
  if (clock_) clock_->runDue(now());
}

bool EpollLoop::idle() const { return !clock_ || clock_->nextTime() == Clock::never; }

bool EpollLoop::takeStop() { return std::exchange(stopRequested_, false); }

void EpollLoop::timerIs(double deadline) {
  if (deadline == timerArmedFor_) return;
  itimerspec setting{};
  if (deadline != Clock::never) setting.it_value = toTimespec(deadline);
  if (timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &setting, nullptr) < 0) throwErrno("timerfd_settime");
  timerArmedFor_ = deadline;
}

void EpollLoop::waitAndServe(double deadline) {
  int timeoutMs = -1;
  if (deadline <= now()) {
    timeoutMs = 0;
  } else {
    timerIs(deadline);
  }
  std::array<epoll_event, 16> events{};
  int const count = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeoutMs);
  if (count < 0) {
    if (errno == EINTR) return;
    throwErrno("epoll_wait");
  }
  for (int i = 0; i < count; ++i) {
    int const fd = events[static_cast<std::size_t>(i)].data.fd;
    if (fd == timerFd_) {
      std::uint64_t expirations = 0;
      if (read(timerFd_, &expirations, sizeof expirations) == sizeof expirations) timerArmedFor_ = Clock::never;
      continue;
    }
    // An earlier callback of this batch may have removed this one.
    auto it = readers_.find(fd);
    if (it == readers_.end()) continue;
    Callback keep = it->second;
    (*keep)();
  }
}

void EpollLoop::advance(double seconds) {
  double const end = now() + std::max(0.0, seconds);
  for (;;) {
    runDue();
    if (stopRequested_ || now() >= end) break;
    double const next = clock_ ? clock_->nextTime() : Clock::never;
    waitAndServe(std::min(next, end));
  }
  takeStop();
}

bool EpollLoop::runUntilIdle(std::size_t maxSteps) {
  for (std::size_t steps = 0;; ++steps) {
    runDue();
    if (stopRequested_ || idle() || steps >= maxSteps) break;
    waitAndServe(clock_->nextTime());
  }
  if (takeStop()) return false;
  return idle();
}

void EpollLoop::run() {
  for (;;) {
    runDue();
    if (stopRequested_) break;
    waitAndServe(clock_ ? clock_->nextTime() : Clock::never);
  }
  takeStop();
}

}  // namespace Quib
