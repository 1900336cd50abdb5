#pragma once
// One side of a conversation with the daemon that the load test serves under a shared
// poll(): a scripted client, or a peer that abuses the control socket.

namespace KmfibctlTest {

class PollParty {
 public:
  virtual ~PollParty() = default;
  // -1 once the conversation is over.
  virtual int fd() const = 0;
  // The poll() events it waits for.
  virtual short events() const = 0;
  // Does what it can now without waiting.
  virtual void serve() = 0;
};

}  // namespace KmfibctlTest
