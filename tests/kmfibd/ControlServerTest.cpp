// The control socket in process: an epoll loop served step by step (serveReady never waits),
// peers made of plain Unix sockets.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/RealLoop.h"
#include "tests/support/TempDir.h"
#include "tools/kmfibd/ControlServer.h"

namespace {

class Peer {
 public:
  explicit Peer(std::string const& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr const*>(&addr), sizeof addr) == 0;
  }
  ~Peer() { ::close(fd_); }
  Peer(Peer const&) = delete;
  Peer& operator=(Peer const&) = delete;

  bool connected() const { return connected_; }
  void send(std::string const& text) const {
    ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  // What has arrived so far; "<closed>" appended once the server hung up.
  std::string received() {
    char buffer[65536];
    for (;;) {
      ssize_t const n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        text_.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed_ = true;
      break;
    }
    return closed_ ? text_ + "<closed>" : text_;
  }
  // The end of what it sends; it still reads.
  void endSending() const { ::shutdown(fd_, SHUT_WR); }
  void shrinkReceiveBuffer() const {
    int const size = 4096;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string text_;
};

class ControlServerTest : public testing::Test {
 protected:
  std::unique_ptr<Kmfibd::ControlServer> server(Kmfibd::ControlServer::Limits limits = {}) {
    auto reply = [this](std::string_view line) {
      requests_.emplace_back(line);
      if (line == "fail") return std::string("error: refused\n");
      if (line == "big") return std::string(64 * 1024, 'x') + "\nok\n";
      if (line == "huge") return std::string(1 << 20, 'h') + "\nok\n";
      return "echo " + std::string(line) + "\nok\n";
    };
    return std::make_unique<Kmfibd::ControlServer>(loop_.loop(), loop_.manager().clock(), path_, reply, limits);
  }
  void serve(int rounds = 1) {
    for (int i = 0; i < rounds; ++i) loop_.serve();
  }

  TestSupport::TempDir dir_;
  std::string path_ = dir_.file("control.sock");
  TestSupport::RealLoop loop_;
  std::vector<std::string> requests_;
};

TEST_F(ControlServerTest, TheSocketIsForItsOwnerOnly) {
  auto s = server();
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  s.reset();
  EXPECT_NE(::access(path_.c_str(), F_OK), 0) << "the socket file goes with the server";
}

TEST_F(ControlServerTest, RepliesToEachLineInOrderEndingInOkOrError) {
  auto s = server();
  Peer peer(path_);
  ASSERT_TRUE(peer.connected());
  peer.send("one\nfail\r\n\nthree\n");
  serve();
  EXPECT_EQ(peer.received(), "echo one\nok\nerror: refused\necho \nok\necho three\nok\n");
  EXPECT_EQ(requests_, (std::vector<std::string>{"one", "fail", "", "three"}));
}

TEST_F(ControlServerTest, ALineArrivingInPiecesIsOneRequest) {
  auto s = server();
  Peer peer(path_);
  peer.send("show ");
  serve();
  EXPECT_EQ(peer.received(), "");
  peer.send("kernel\n");
  serve();
  EXPECT_EQ(peer.received(), "echo show kernel\nok\n");
}

TEST_F(ControlServerTest, APeerWithoutNewlineStallsNobody) {
  auto s = server();
  Peer silent(path_);
  silent.send("show kern");
  Peer other(path_);
  other.send("show status\n");
  serve();
  EXPECT_EQ(other.received(), "echo show status\nok\n");
  EXPECT_EQ(silent.received(), "");
  EXPECT_EQ(s->peers(), 2u);
}

TEST_F(ControlServerTest, ALineOverTheBoundDropsItsPeerOnly) {
  auto s = server({.maxLine = 16, .maxBacklog = 1 << 20, .maxPeers = 8, .idle = 30});
  Peer longLine(path_);
  Peer other(path_);
  longLine.send(std::string(17, 'a'));
  other.send("exactly-16-bytes\n");
  serve();
  EXPECT_EQ(longLine.received(), "<closed>");
  EXPECT_EQ(other.received(), "echo exactly-16-bytes\nok\n");
  EXPECT_EQ(s->peers(), 1u);
  EXPECT_TRUE(requests_ == std::vector<std::string>{"exactly-16-bytes"});
}

TEST_F(ControlServerTest, APeerThatAsksOnWithoutReadingIsDropped) {
  auto s = server({.maxLine = 4096, .maxBacklog = 64 * 1024, .maxPeers = 8, .idle = 30});
  Peer slow(path_);
  slow.shrinkReceiveBuffer();
  std::string burst;
  for (int i = 0; i < 20 * 1024; ++i) burst += "big\n";
  slow.send(burst);
  Peer other(path_);
  other.send("still here\n");
  // Past the bound of unread replies its requests wait, until they pass the bound as well.
  serve(16);
  EXPECT_EQ(s->peers(), 1u);
  EXPECT_EQ(other.received(), "echo still here\nok\n");
  EXPECT_LT(requests_.size(), 64u) << "requests served while replies wait unread";
}

TEST_F(ControlServerTest, RepliesLongerThanTheBoundReachAPeerThatReads) {
  auto s = server({.maxLine = 4096, .maxBacklog = 256 * 1024, .maxPeers = 8, .idle = 30});
  Peer peer(path_);
  peer.send("huge\nbig\nhuge\nlast\n");
  std::string const huge = std::string(1 << 20, 'h') + "\nok\n";
  std::string const expected = huge + std::string(64 * 1024, 'x') + "\nok\n" + huge + "echo last\nok\n";
  std::string got;
  for (int i = 0; i < 1000 && got.size() < expected.size(); ++i) {
    serve();
    got = peer.received();
  }
  EXPECT_TRUE(got == expected) << got.size() << " bytes of " << expected.size();
  EXPECT_EQ(s->peers(), 1u);
  EXPECT_EQ(requests_, (std::vector<std::string>{"huge", "big", "huge", "last"}));
}

TEST_F(ControlServerTest, APeerThatEndsItsSideIsAnsweredInFullThenLetGo) {
  auto s = server({.maxLine = 4096, .maxBacklog = 256 * 1024, .maxPeers = 8, .idle = 30});
  Peer peer(path_);
  peer.send("huge\nlast\nunfinished");
  peer.endSending();
  std::string const expected = std::string(1 << 20, 'h') + "\nok\necho last\nok\n<closed>";
  std::string got;
  for (int i = 0; i < 1000 && !got.ends_with("<closed>"); ++i) {
    serve();
    got = peer.received();
  }
  EXPECT_TRUE(got == expected) << got.size() << " bytes of " << expected.size();
  EXPECT_EQ(s->peers(), 0u);
  EXPECT_EQ(requests_, (std::vector<std::string>{"huge", "last"}));
}

TEST_F(ControlServerTest, APeerSendingWhatIsNotTextIsToldWhyAndDropped) {
  struct Case {
    char const* name;
    std::string line;
  };
  for (auto const& c : std::vector<Case>{
           {"NUL", std::string("show\0kernel", 11)},
           {"bell", "show kernel\a"},
           {"escape", "\x1b[2Jshow kernel"},
           {"DEL", "show\x7f kernel"},
           {"carriage return inside", "show\rkernel"},
           {"lead byte never used", "show kernel \xff"},
           {"lead without its continuation", "netns \xc3\x28"},
           {"overlong slash", "netns a\xc0\xaf"},
       }) {
    requests_.clear();
    auto s = server();
    Peer binary(path_);
    Peer other(path_);
    binary.send("first\n" + c.line + "\nnever\n");
    other.send("still here\n");
    serve();
    EXPECT_EQ(binary.received(), "echo first\nok\nerror: the request is not text; closing the connection\n<closed>")
        << c.name;
    EXPECT_EQ(other.received(), "echo still here\nok\n") << c.name;
    EXPECT_EQ(s->peers(), 1u) << c.name;
    EXPECT_EQ(requests_, (std::vector<std::string>{"first", "still here"})) << c.name;
  }
}

TEST_F(ControlServerTest, TabsUtf8AndLineEndsOfEitherKindAreText) {
  auto s = server();
  Peer peer(path_);
  peer.send("show\tkernel\nnetns caf\xc3\xa9\r\n\xe2\x82\xac\n");
  serve();
  EXPECT_EQ(peer.received(), "echo show\tkernel\nok\necho netns caf\xc3\xa9\nok\necho \xe2\x82\xac\nok\n");
}

TEST_F(ControlServerTest, RepliesWaitingForRoomAreSentWhenThePeerReads) {
  auto s = server();
  Peer peer(path_);
  peer.shrinkReceiveBuffer();
  peer.send("big\nbig\nbig\n");
  serve();
  std::string got;
  for (int i = 0; i < 64 && got.size() < 3 * (64 * 1024 + 4); ++i) {
    got = peer.received();
    serve();
  }
  EXPECT_EQ(got, (std::string(64 * 1024, 'x') + "\nok\n") + (std::string(64 * 1024, 'x') + "\nok\n") +
                     (std::string(64 * 1024, 'x') + "\nok\n"));
}

TEST_F(ControlServerTest, APeerLeavingItsRequestUnfinishedIsDroppedAfterTheIdleBound) {
  auto s = server({.maxLine = 4096, .maxBacklog = 1 << 20, .maxPeers = 8, .idle = 0.0});
  Peer silent(path_);
  Peer done(path_);
  silent.send("show kern");
  done.send("show kernel\n");
  serve();
  EXPECT_EQ(s->peers(), 2u);
  // The clock's due reactors run: the bound has passed for the unfinished request only.
  loop_.loop().advance(0);
  EXPECT_EQ(s->peers(), 1u);
  EXPECT_EQ(silent.received(), "<closed>");
  EXPECT_EQ(done.received(), "echo show kernel\nok\n");
}

TEST_F(ControlServerTest, PeersBeyondTheBoundWaitTheirTurn) {
  auto s = server({.maxLine = 4096, .maxBacklog = 1 << 20, .maxPeers = 2, .idle = 30});
  auto a = std::make_unique<Peer>(path_);
  auto b = std::make_unique<Peer>(path_);
  Peer c(path_);
  c.send("third\n");
  serve();
  EXPECT_EQ(s->peers(), 2u);
  EXPECT_EQ(c.received(), "") << "waiting, not refused";
  a.reset();
  b.reset();
  serve(3);
  EXPECT_EQ(c.received(), "echo third\nok\n");
  EXPECT_EQ(requests_, std::vector<std::string>{"third"});
}

TEST_F(ControlServerTest, AHungUpPeerIsForgottenAfterItsLastReply) {
  auto s = server();
  {
    Peer peer(path_);
    peer.send("last\n");
  }
  serve();
  EXPECT_EQ(s->peers(), 0u);
  EXPECT_EQ(requests_, std::vector<std::string>{"last"});
}

TEST_F(ControlServerTest, ALeftOverSocketFileIsReplacedButALiveServerIsNot) {
  {
    auto first = server();
    // A second server on the same path while the first answers: refused.
    EXPECT_THROW(server(), std::system_error);
  }
  // A stale file (nobody listening) is taken over.
  int const fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr const*>(&addr), sizeof addr), 0);
  ::close(fd);
  auto again = server();
  Peer peer(path_);
  peer.send("hello\n");
  serve();
  EXPECT_EQ(peer.received(), "echo hello\nok\n");
}

}  // namespace
