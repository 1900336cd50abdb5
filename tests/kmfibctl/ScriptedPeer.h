#pragma once
// A client of the daemon's control socket for the load test: it sends its requests either
// all at once or each after the previous reply, cuts the stream into replies (each up to its
// "ok" or "error: TEXT" line) and holds every reply against what it must be. Non-blocking:
// many run side by side under one poll(). It hangs up after the last reply, as kmfibctl does.

#include <functional>
#include <string>
#include <vector>

#include "tests/kmfibctl/PollParty.h"

namespace KmfibctlTest {

class ScriptedPeer : public PollParty {
 public:
  // Empty when `reply` (its lines, the closing one included) is right, else why not.
  using Check = std::function<std::string(std::string const& reply)>;
  struct Exchange {
    std::string request;  // without its newline
    Check check;
  };
  enum class Pace { pipelined, lockstep };

  // Connects (blocking: the daemon may hold a burst of clients in its listen queue).
  ScriptedPeer(std::string const& path, std::string name, std::vector<Exchange> script, Pace pace);
  ~ScriptedPeer() override;
  ScriptedPeer(ScriptedPeer const&) = delete;
  ScriptedPeer& operator=(ScriptedPeer const&) = delete;

  // A check that the reply is exactly `text`.
  static Check exactly(std::string text);

  int fd() const override { return fd_; }
  short events() const override;
  // Sends and receives what it can now.
  void serve() override;
  // Every reply arrived.
  bool complete() const { return answered_ == script_.size(); }
  // What went wrong: wrong replies, a hang-up before the last reply; one line each.
  std::vector<std::string> const& faults() const { return faults_; }
 private:
  void fault(std::string const& why);
  void takeReplies();

  std::string name_;
  std::vector<Exchange> script_;
  Pace pace_;
  int fd_ = -1;
  std::size_t queued_ = 0;    // requests put in `out_`
  std::size_t answered_ = 0;  // replies taken
  std::string out_;
  std::string in_;
  std::vector<std::string> faults_;
};

}  // namespace KmfibctlTest
