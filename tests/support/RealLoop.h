#pragma once
// An activity manager on the real epoll loop for tests of descriptors (sockets, inotify,
// netlink): `serve()` handles what is ready now and never waits.

#include <memory>

#include "host/ActivityManager.h"
#include "host/EpollLoop.h"

namespace TestSupport {

class RealLoop {
 public:
  RealLoop() : manager_(make(loop_)) {}

  Quib::EpollLoop& loop() { return *loop_; }
  Quib::ActivityManager& manager() { return manager_; }
  void serve() {
    for (int i = 0; i < 4; ++i) loop_->serveReady();
  }

 private:
  static std::unique_ptr<Quib::EventLoop> make(Quib::EpollLoop*& raw) {
    auto loop = std::make_unique<Quib::EpollLoop>();
    raw = loop.get();
    return loop;
  }

  Quib::EpollLoop* loop_ = nullptr;
  Quib::ActivityManager manager_;
};

}  // namespace TestSupport
