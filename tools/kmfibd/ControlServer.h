#pragma once
// The daemon's control socket: a Unix stream socket (mode 0600) whose peers send statements,
// one a line, and get each request's reply ending in a line "ok" or "error: TEXT". A peer is
// accepted only when SO_PEERCRED says it is root or the daemon's own user.
//
// Everything runs on the event loop and nothing waits on a peer: sockets are non-blocking,
// a request line is bounded, and replies a peer does not read queue up to a bound: past it,
// the peer's further requests wait until it reads, so a reply of any length reaches a peer
// that reads it. A peer that sends a longer line, a request that is not text (a NUL, a
// control byte, bytes that are not UTF-8), more requests than the bound while its replies
// wait, or hangs up is dropped; the others are served on. A peer that ends its side of the
// stream after its requests is answered in full first. A peer that leaves a request
// unfinished, or its replies unread, for longer than the idle bound is dropped too.
// Requests of one peer are answered in order.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "host/EpollLoop.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Kmfibd {

class ControlServer {
 public:
  // The reply to one request line, its last line "ok" or "error: TEXT".
  using Handler = std::function<std::string(std::string_view line)>;

  struct Limits {
    std::size_t maxLine = 4096;        // bytes of one request, without its newline
    std::size_t maxBacklog = 1 << 20;  // bytes of replies a peer has not read yet, and of requests waiting on them
    std::size_t maxPeers = 64;
    double idle = 30.0;  // seconds a request may stay unfinished or replies unread
  };

  // Throws std::system_error when the socket cannot be made; an existing file at `path` that
  // no daemon answers on is replaced.
  ControlServer(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, std::string path, Handler handler,
                Limits limits);
  ControlServer(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, std::string path, Handler handler)
      : ControlServer(loop, std::move(clock), std::move(path), std::move(handler), Limits()) {}
  ~ControlServer();
  ControlServer(ControlServer const&) = delete;
  ControlServer& operator=(ControlServer const&) = delete;

  std::string const& path() const { return path_; }
  std::size_t peers() const { return peers_.size(); }

 private:
  struct Peer {
    std::string in;
    std::string out;
    bool ended = false;  // it sent its last request: answered in full, then let go
    double waitingSince = Quib::Clock::never;  // since when `in` or `out` has been unfinished
  };

  class IdleReactor : public Quib::Clock::NotifieeConst {
   public:
    explicit IdleReactor(ControlServer* server) : server_(server) {}
    void onTime() override { server_->handleIdle(); }

   private:
    ControlServer* server_;
  };

  void handleAccept();
  void handlePeer(int fd);
  // False once the peer hung up or failed.
  bool doRead(int fd, Peer& peer);
  // False when the peer was dropped.
  bool doServe(int fd, Peer& peer);
  bool doFlush(int fd, Peer& peer);
  void doDrop(int fd, std::string_view why);
  void handleIdle();
  // Notes whether the peer waits on anything and arms the idle reactor for the first one.
  void doTrackIdle(Peer& peer);

  Quib::EpollLoop& loop_;
  std::string path_;
  Handler handler_;
  Limits limits_;
  int listenFd_ = -1;
  bool accepting_ = true;  // false while the peers are at their bound
  std::map<int, Peer> peers_;
  IdleReactor idle_{this};
};

}  // namespace Kmfibd
