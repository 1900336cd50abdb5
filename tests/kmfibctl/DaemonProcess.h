#pragma once
// A program of the build run as a child process for the daemon's end-to-end test: its
// standard input, output and error are pipes. Nothing here sleeps: waiting is poll() on the
// child's own output, bounded by a number of rounds.

#include <sys/types.h>

#include <string>
#include <vector>

namespace KmfibctlTest {

class DaemonProcess {
 public:
  struct Result {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
  };

  // argv[0] is the program's path.
  explicit DaemonProcess(std::vector<std::string> const& argv);
  ~DaemonProcess();
  DaemonProcess(DaemonProcess const&) = delete;
  DaemonProcess& operator=(DaemonProcess const&) = delete;

  // Runs a program to its end with `input` on its standard input.
  static Result run(std::vector<std::string> const& argv, std::string const& input = {});

  pid_t pid() const { return pid_; }
  // Standard error, for a poll() of the caller's; -1 once it ended.
  int errFd() const { return errFd_; }
  void signal(int signo) const;
  // Standard error so far, after reading what is there now (waiting at most `ms`).
  std::string const& err(int ms = 0);
  // Reads standard error until it holds `text` after `from` characters; false after `rounds`
  // polls of 50 ms found nothing.
  bool waitForErr(std::string const& text, std::size_t from = 0, int rounds = 200);
  // Waits for the exit (closing standard error first); the exit status or -1.
  int wait();

 private:
  bool readErr(int ms);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int errFd_ = -1;
  std::string err_;
};

}  // namespace KmfibctlTest
