#include "host/ActivityManager.h"

#include <utility>

#include "host/VirtualLoop.h"
#include "quib/System.h"

namespace Quib {

namespace {

// Managers form a stack through previous_; only the top is current.
ActivityManager* current = nullptr;

Ptr<Clock> clockOn(std::shared_ptr<EventLoop> const& loop) {
  return make<Clock>("clock", [loop] { return loop->now(); });
}

}  // namespace

ActivityManager::ActivityManager() : ActivityManager(std::make_unique<VirtualLoop>()) {}

ActivityManager::ActivityManager(std::unique_ptr<EventLoop> loop)
    : loop_(std::move(loop)), clock_(clockOn(loop_)), config_(clock_, loop_->isReal()), previous_(current) {
  loop_->clockIs(clock_.ptr());
  current = this;
}

ActivityManager::~ActivityManager() {
  loop_->clockIs(nullptr);
  if (current == this) {
    current = previous_;
    return;
  }
  // Destroyed out of order: unlink from the middle of the stack.
  for (ActivityManager* m = current; m; m = m->previous_) {
    if (m->previous_ != this) continue;
    m->previous_ = previous_;
    return;
  }
}

ActivityManager* activityManager() { return current; }

}  // namespace Quib

namespace Quib::System {

// Without a manager there is no clock; 0 keeps stray callers (a trace line in a unit test)
// deterministic.
double currentTime() {
  ActivityManager const* m = activityManager();
  return m ? m->currentTime() : 0.0;
}

}  // namespace Quib::System
