#include "tools/kmfibctl/ControlClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Kmfibctl {

ControlClient::ControlClient(std::string const& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    why_ = "control socket path too long";
    return;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    why_ = std::strerror(errno);
    return;
  }
  if (::connect(fd_, reinterpret_cast<sockaddr const*>(&addr), sizeof addr) < 0) {
    why_ = std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
  }
}

ControlClient::~ControlClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool ControlClient::request(std::string const& statement, Reply& reply) {
  reply = Reply{};
  std::string const line = statement + "\n";
  for (std::size_t sent = 0; sent < line.size();) {
    ssize_t const n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why_ = std::strerror(errno);
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  for (std::string text; readLine(text);) {
    if (text == "ok") {
      reply.ok = true;
      return true;
    }
    if (text.starts_with("error: ")) {
      reply.error = text.substr(7);
      return true;
    }
    reply.lines.push_back(text);
  }
  return false;
}

bool ControlClient::readLine(std::string& line) {
  for (;;) {
    if (auto newline = buffer_.find('\n'); newline != std::string::npos) {
      line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return true;
    }
    char chunk[4096];
    ssize_t const n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      why_ = n == 0 ? "the daemon closed the connection" : std::strerror(errno);
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace Kmfibctl
