#pragma once
// The settings of an activity manager that its agent may read or set: the clock to build
// timers on, and whether the agent asked for the epoll loop.
//
// The loop is chosen by the host when it builds the manager; it cannot change under running
// timers. useEpollIs() therefore records the agent's wish only: useEpoll() starts as "the
// manager runs the real loop", and a virtual-time host (tests, scripts) keeps its virtual
// loop whatever the agent asks for. A daemon host may check the flag after start-up.

#include <utility>

#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Quib {

class ActivityManagerConfig {
 public:
  ActivityManagerConfig(Ptr<Clock const> clock, bool useEpoll) : clock_(std::move(clock)), useEpoll_(useEpoll) {}
  ActivityManagerConfig(ActivityManagerConfig const&) = delete;
  ActivityManagerConfig& operator=(ActivityManagerConfig const&) = delete;

  Ptr<Clock const> const& clock() const { return clock_; }
  bool useEpoll() const { return useEpoll_; }
  void useEpollIs(bool useEpoll) { useEpoll_ = useEpoll; }

 private:
  Ptr<Clock const> clock_;
  bool useEpoll_;
};

}  // namespace Quib
