#pragma once
// The part of every reactor that its notifier knows about: whether notifications are on,
// and the trace context it was built in, in force again around each of its callbacks.
// A reactor is notified only while active; switching it off, detaching it or destroying
// it from inside a callback is safe (the notifier skips it from then on).

#include "trace/Context.h"

namespace Quib {

class NotifieeRoot {
 public:
  NotifieeRoot() = default;
  NotifieeRoot(NotifieeRoot const&) = delete;
  NotifieeRoot& operator=(NotifieeRoot const&) = delete;

  bool isNotificationActive() const { return active_; }
  Trace::Context traceContext() const { return traceContext_; }
  virtual void hasNotificationActiveIs(bool active) { active_ = active; }

 protected:
  virtual ~NotifieeRoot() = default;

 private:
  bool active_ = false;
  Trace::Context traceContext_ = Trace::currentContext();
};

}  // namespace Quib
