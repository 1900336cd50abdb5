#include "tests/kmfibctl/ScriptedPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace KmfibctlTest {

ScriptedPeer::ScriptedPeer(std::string const& path, std::string name, std::vector<Exchange> script, Pace pace)
    : name_(std::move(name)), script_(std::move(script)), pace_(pace) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), std::min(path.size() + 1, sizeof addr.sun_path - 1));
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr const*>(&addr), sizeof addr) < 0) {
    fault(std::string("cannot connect: ") + std::strerror(errno));
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

ScriptedPeer::~ScriptedPeer() {
  if (fd_ >= 0) ::close(fd_);
}

ScriptedPeer::Check ScriptedPeer::exactly(std::string text) {
  return [text = std::move(text)](std::string const& reply) {
    if (reply == text) return std::string();
    return "expected \"" + text.substr(0, 400) + (text.size() > 400 ? "...\"" : "\"");
  };
}

short ScriptedPeer::events() const {
  bool const toSend = !out_.empty() || queued_ < script_.size();
  return static_cast<short>(POLLIN | (toSend ? POLLOUT : 0));
}

void ScriptedPeer::fault(std::string const& why) { faults_.push_back(name_ + ": " + why); }

void ScriptedPeer::serve() {
  if (fd_ < 0) return;
  // Lockstep: the next request only once every earlier one is answered.
  while (queued_ < script_.size() && (pace_ == Pace::pipelined || answered_ == queued_)) {
    out_ += script_[queued_++].request + "\n";
  }
  while (!out_.empty()) {
    ssize_t const n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
      fault(std::string("send: ") + std::strerror(errno));
      ::close(fd_);
      fd_ = -1;
      return;
    }
    out_.erase(0, static_cast<std::size_t>(n));
  }
  char buffer[65536];
  for (;;) {
    ssize_t const n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      in_.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    takeReplies();
    if (!complete()) {
      fault("the daemon hung up after " + std::to_string(answered_) + " of " + std::to_string(script_.size()) +
            " replies");
    }
    ::close(fd_);
    fd_ = -1;
    return;
  }
  takeReplies();
  if (complete()) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  if (pace_ == Pace::lockstep && answered_ == queued_) serve();
}

void ScriptedPeer::takeReplies() {
  std::size_t replyStart = 0;
  std::size_t lineStart = 0;
  for (std::size_t newline; (newline = in_.find('\n', lineStart)) != std::string::npos; lineStart = newline + 1) {
    std::string_view const line(in_.data() + lineStart, newline - lineStart);
    if (line != "ok" && !line.starts_with("error: ")) continue;
    std::string const reply = in_.substr(replyStart, newline + 1 - replyStart);
    replyStart = newline + 1;
    if (answered_ >= script_.size()) {
      fault("a reply nobody asked for: " + reply);
      continue;
    }
    auto const& exchange = script_[answered_++];
    if (std::string const why = exchange.check(reply); !why.empty()) {
      fault("'" + exchange.request + "' got \"" + reply.substr(0, 400) + "\": " + why);
    }
  }
  in_.erase(0, replyStart);
}

}  // namespace KmfibctlTest
