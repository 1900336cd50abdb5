#include "tools/kmfibd/ControlServer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "cli/CommandLine.h"
#include "quib/System.h"
#include "tools/kmfibd/DaemonLog.h"

namespace Kmfibd {

namespace {

[[noreturn]] void throwErrno(std::string const& what) { throw std::system_error(errno, std::generic_category(), what); }

sockaddr_un addressOf(std::string const& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    throwErrno("control socket " + path);
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

// A socket file that nobody accepts on is left over from a daemon that died; one that
// answers belongs to a running daemon, which must not be taken over.
bool answers(sockaddr_un const& addr) {
  int const fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool const up = ::connect(fd, reinterpret_cast<sockaddr const*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return up;
}

// What kmfibctl or an operator's script sends: no NUL, no control byte but tab, UTF-8.
bool isText(std::string_view line) {
  if (std::any_of(line.begin(), line.end(), [](char c) {
        auto const b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t') || b == 0x7f;
      })) {
    return false;
  }
  return Cli::isUtf8(line);
}

bool peerAllowed(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) < 0) return false;
  return cred.uid == 0 || cred.uid == ::geteuid();
}

}  // namespace

ControlServer::ControlServer(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, std::string path,
                             Handler handler, Limits limits)
    : loop_(loop), path_(std::move(path)), handler_(std::move(handler)), limits_(limits) {
  idle_.notifierIs(std::move(clock));
  idle_.hasNotificationActiveIs(true);
  sockaddr_un const addr = addressOf(path_);
  if (answers(addr)) {
    errno = EADDRINUSE;
    throwErrno("control socket " + path_ + " (another kmfibd answers there)");
  }
  ::unlink(path_.c_str());
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throwErrno("control socket");
  // Created with no access for others from the start, not chmod'ed after the fact.
  mode_t const old = ::umask(0177);
  int const bound = ::bind(listenFd_, reinterpret_cast<sockaddr const*>(&addr), sizeof addr);
  int const error = errno;
  ::umask(old);
  if (bound < 0 || ::chmod(path_.c_str(), 0600) < 0 || ::listen(listenFd_, SOMAXCONN) < 0) {
    errno = bound < 0 ? error : errno;
    int const saved = errno;
    ::close(listenFd_);
    errno = saved;
    throwErrno("control socket " + path_);
  }
  loop_.readerIs(listenFd_, [this] { handleAccept(); });
}

ControlServer::~ControlServer() {
  for (auto const& [fd, peer] : peers_) {
    loop_.readerDel(fd);
    ::close(fd);
  }
  loop_.readerDel(listenFd_);
  ::close(listenFd_);
  ::unlink(path_.c_str());
}

void ControlServer::handleAccept() {
  for (;;) {
    int const fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        if (auto t = daemonLog().at(1)) t << "control: accept failed: " << std::strerror(errno);
      }
      return;
    }
    if (!peerAllowed(fd)) {
      if (auto t = daemonLog().at(1)) t << "control: peer refused: neither root nor the daemon's user";
      ::close(fd);
      continue;
    }
    peers_.emplace(fd, Peer{});
    loop_.readerIs(fd, [this, fd] { handlePeer(fd); });
    // At the bound the next clients wait in the listen queue, unaccepted, until a peer goes:
    // a burst of clients is served in turn, not turned away.
    if (peers_.size() >= limits_.maxPeers) {
      if (auto t = daemonLog().at(1)) t << "control: " << peers_.size() << " peers connected; accepting more as they go";
      loop_.readerDel(listenFd_);
      accepting_ = false;
      return;
    }
  }
}

void ControlServer::handlePeer(int fd) {
  auto it = peers_.find(fd);
  if (it == peers_.end()) return;
  Peer& peer = it->second;
  if (!doFlush(fd, peer)) return;
  if (!peer.ended && !doRead(fd, peer)) {
    peer.ended = true;
    loop_.readWantedIs(fd, false);
  }
  // Serving pauses at the bound of unread replies; what the socket takes makes room again.
  do {
    if (!doServe(fd, peer)) return;
    if (!doFlush(fd, peer)) return;
  } while (peer.out.size() <= limits_.maxBacklog && peer.in.find('\n') != std::string::npos);
  // A peer that ended its side goes once its replies are out; one that hung up altogether
  // failed in the flush already.
  if (peer.ended && peer.out.empty()) return doDrop(fd, "");
  doTrackIdle(peer);
}

void ControlServer::doTrackIdle(Peer& peer) {
  bool const waiting = !peer.in.empty() || !peer.out.empty();
  if (!waiting) {
    peer.waitingSince = Quib::Clock::never;
    return;
  }
  if (peer.waitingSince == Quib::Clock::never) peer.waitingSince = Quib::System::currentTime();
  double first = Quib::Clock::never;
  for (auto const& [fd, p] : peers_) first = std::min(first, p.waitingSince);
  if (first + limits_.idle < idle_.timeMin()) idle_.timeMinIs(first + limits_.idle);
}

void ControlServer::handleIdle() {
  double const now = Quib::System::currentTime();
  std::vector<int> overdue;
  double next = Quib::Clock::never;
  for (auto const& [fd, peer] : peers_) {
    if (peer.waitingSince + limits_.idle <= now) {
      overdue.push_back(fd);
      continue;
    }
    next = std::min(next, peer.waitingSince + limits_.idle);
  }
  for (int fd : overdue) doDrop(fd, "request unfinished or replies unread for " + std::to_string(limits_.idle) + " s");
  idle_.timeMinIs(next);
}

bool ControlServer::doRead(int fd, Peer& peer) {
  // One bounded read per wake-up: a peer that keeps sending cannot hold the loop.
  char buffer[16384];
  ssize_t const n = ::recv(fd, buffer, sizeof buffer, 0);
  if (n > 0) {
    peer.in.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

bool ControlServer::doServe(int fd, Peer& peer) {
  std::size_t start = 0;
  while (peer.out.size() <= limits_.maxBacklog) {
    std::size_t const newline = peer.in.find('\n', start);
    if (newline == std::string::npos) break;
    if (newline - start > limits_.maxLine) break;
    std::string_view line(peer.in.data() + start, newline - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!isText(line)) {
      // Whoever sends binary data is not a client; it hears why before it goes.
      peer.out += "error: the request is not text; closing the connection\n";
      if (doFlush(fd, peer)) doDrop(fd, "the request is not text");
      return false;
    }
    peer.out += handler_(line);
    start = newline + 1;
  }
  peer.in.erase(0, start);
  if (peer.in.size() > limits_.maxBacklog) {
    doDrop(fd, "its replies are not read");
    return false;
  }
  std::size_t const pending = peer.in.find('\n');
  if ((pending == std::string::npos ? peer.in.size() : pending) > limits_.maxLine) {
    doDrop(fd, "request line longer than " + std::to_string(limits_.maxLine) + " bytes");
    return false;
  }
  return true;
}

bool ControlServer::doFlush(int fd, Peer& peer) {
  while (!peer.out.empty()) {
    ssize_t const n = ::send(fd, peer.out.data(), peer.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      doDrop(fd, std::strerror(errno));
      return false;
    }
    peer.out.erase(0, static_cast<std::size_t>(n));
  }
  loop_.writeWantedIs(fd, !peer.out.empty());
  return true;
}

void ControlServer::doDrop(int fd, std::string_view why) {
  if (!why.empty()) {
    if (auto t = daemonLog().at(1)) t << "control: peer dropped: " << why;
  }
  loop_.readerDel(fd);
  ::close(fd);
  peers_.erase(fd);
  if (accepting_) return;
  accepting_ = true;
  loop_.readerIs(listenFd_, [this] { handleAccept(); });
}

}  // namespace Kmfibd
