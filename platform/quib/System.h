#pragma once
// The current time, in seconds, from the clock of the current activity manager: real time
// under the epoll loop, virtual time in tests and scripts.

namespace Quib::System {

double currentTime();

}  // namespace Quib::System
