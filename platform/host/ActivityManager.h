#pragma once
// Owns the event loop of a host and the one clock every timer of the process is built on.
// A manager is the current one (activityManager(), Quib::System::currentTime()) from its
// construction to its destruction; destroying it makes the one before it current again.
// Tests build one on the stack and need no reset.
//
// The clock may outlive the manager (reactors hold it): it then keeps reading the loop's
// time, which the clock keeps alive, but nothing runs its reactors any more.

#include <memory>

#include "host/ActivityManagerConfig.h"
#include "host/EventLoop.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Quib {

class ActivityManager {
 public:
  // On a virtual loop.
  ActivityManager();
  explicit ActivityManager(std::unique_ptr<EventLoop> loop);
  ~ActivityManager();
  ActivityManager(ActivityManager const&) = delete;
  ActivityManager& operator=(ActivityManager const&) = delete;

  EventLoop& loop() const { return *loop_; }
  Ptr<Clock const> clock() const { return clock_; }
  double currentTime() const { return loop_->now(); }
  ActivityManagerConfig& config() { return config_; }
  ActivityManagerConfig const& config() const { return config_; }

 private:
  std::shared_ptr<EventLoop> loop_;
  Ptr<Clock> clock_;
  ActivityManagerConfig config_;
  ActivityManager* previous_;
};

// The current manager; null when none lives.
ActivityManager* activityManager();

}  // namespace Quib
