#include "tests/kmfibctl/DaemonProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace KmfibctlTest {

namespace {

std::array<int, 2> pipeOrThrow() {
  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC) < 0) throw std::runtime_error("pipe2");
  return fds;
}

// Appends what is readable on `fd` now; false at end of file.
bool drain(int fd, std::string& into) {
  char buffer[4096];
  ssize_t const n = ::read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  into.append(buffer, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

DaemonProcess::DaemonProcess(std::vector<std::string> const& argv) {
  auto const in = pipeOrThrow();
  auto const out = pipeOrThrow();
  auto const err = pipeOrThrow();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    std::vector<char*> args;
    for (auto const& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  in_ = in[1];
  out_ = out[0];
  errFd_ = err[0];
}

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, out_, errFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

DaemonProcess::Result DaemonProcess::run(std::vector<std::string> const& argv, std::string const& input) {
  DaemonProcess p(argv);
  Result result;
  if (!input.empty() && ::write(p.in_, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("write to child");
  }
  ::close(p.in_);
  p.in_ = -1;
  // Both pipes until both end; a program that hangs fails the test after 200 rounds.
  bool outOpen = true;
  bool errOpen = true;
  for (int round = 0; (outOpen || errOpen) && round < 200; ++round) {
    std::array<pollfd, 2> fds{pollfd{outOpen ? p.out_ : -1, POLLIN, 0}, pollfd{errOpen ? p.errFd_ : -1, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
    if (fds[0].revents) outOpen = drain(p.out_, result.out);
    if (fds[1].revents) errOpen = drain(p.errFd_, p.err_);
  }
  result.err = p.err_;
  result.status = p.wait();
  return result;
}

void DaemonProcess::signal(int signo) const { ::kill(pid_, signo); }

bool DaemonProcess::readErr(int ms) {
  pollfd fd{errFd_, POLLIN, 0};
  if (errFd_ < 0 || ::poll(&fd, 1, ms) <= 0) return false;
  if (drain(errFd_, err_)) return true;
  ::close(errFd_);
  errFd_ = -1;
  return false;
}

std::string const& DaemonProcess::err(int ms) {
  while (readErr(ms)) ms = 0;
  return err_;
}

bool DaemonProcess::waitForErr(std::string const& text, std::size_t from, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    if (err_.find(text, from) != std::string::npos) return true;
    if (errFd_ < 0) return false;
    readErr(50);
  }
  return err_.find(text, from) != std::string::npos;
}

int DaemonProcess::wait() {
  // Standard error ends when the child exits; 200 rounds bound a child that does not.
  for (int round = 0; errFd_ >= 0 && round < 200; ++round) readErr(50);
  int status = 0;
  if (errFd_ >= 0) ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace KmfibctlTest
