#pragma once
// A connection to a daemon's control socket: sends one statement a line and reads its
// reply up to the closing "ok" or "error: TEXT" line. Blocking: it is a command-line tool's.

#include <string>
#include <vector>

namespace Kmfibctl {

class ControlClient {
 public:
  struct Reply {
    std::vector<std::string> lines;  // the output before the closing line
    bool ok = false;
    std::string error;  // the closing line's TEXT when not ok
  };

  // Connected, or not with why() saying what failed.
  explicit ControlClient(std::string const& path);
  ~ControlClient();
  ControlClient(ControlClient const&) = delete;
  ControlClient& operator=(ControlClient const&) = delete;

  bool connected() const { return fd_ >= 0; }
  std::string const& why() const { return why_; }

  // False when the daemon went away before the reply ended (why() says so).
  bool request(std::string const& statement, Reply& reply);

 private:
  bool readLine(std::string& line);

  int fd_ = -1;
  std::string why_;
  std::string buffer_;
};

}  // namespace Kmfibctl
