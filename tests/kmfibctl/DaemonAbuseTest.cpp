// kmfibd run on the simulated kernel, as a child process, under load and abuse: hundreds of
// clients at once whose every reply is checked, peers that send an endless line, binary
// garbage, hang up in the middle of a long reply or end their side of the stream after
// asking for one, the daemon's memory before and after; and a hundred SIGHUPs, the file
// rewritten (sometimes broken) between them, while clients keep asking. Waiting is poll()
// on the sockets and on the daemon's standard error; nothing sleeps. KMFIB_ABUSE_SCALE=N
// (default 1) multiplies the waves of clients and the SIGHUPs.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/kmfibctl/DaemonProcess.h"
#include "tests/kmfibctl/PollParty.h"
#include "tests/kmfibctl/ScriptedPeer.h"
#include "tests/support/TempDir.h"

namespace {

using KmfibctlTest::DaemonProcess;
using KmfibctlTest::PollParty;
using KmfibctlTest::ScriptedPeer;
using Pace = ScriptedPeer::Pace;

int scale() {
  char const* text = std::getenv("KMFIB_ABUSE_SCALE");
  return text ? std::max(1, std::atoi(text)) : 1;
}

std::string tool(std::string const& name) { return std::string(KMFIB_TOOLS_DIR) + "/" + name; }

std::string str(int n) { return std::to_string(n); }

std::vector<std::string> linesOf(std::string const& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The reply's records as a sorted set, or empty when it does not end in "ok".
std::multiset<std::string> recordsOf(std::string const& reply) {
  auto lines = linesOf(reply);
  if (lines.empty() || lines.back() != "ok") return {};
  lines.pop_back();
  return {lines.begin(), lines.end()};
}

// The records one side holds and the other does not, one a line.
std::string difference(std::multiset<std::string> const& expected, std::multiset<std::string> const& actual) {
  std::vector<std::string> missing;
  std::vector<std::string> extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
  std::string text;
  for (auto const& r : missing) text += "missing: " + r + "\n";
  for (auto const& r : extra) text += "unexpected: " + r + "\n";
  return text;
}

struct Memory {
  long rssKiB = -1;
  long peakKiB = -1;
};

Memory memoryOf(pid_t pid) {
  Memory m;
  std::ifstream status("/proc/" + str(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) m.rssKiB = std::atol(line.c_str() + 6);
    if (line.starts_with("VmHWM:")) m.peakKiB = std::atol(line.c_str() + 6);
  }
  return m;
}

std::size_t count(std::string const& text, std::string const& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// A peer that talks no protocol: it writes what it writes and keeps what comes back until
// the daemon hangs up.
class RawPeer : public PollParty {
 public:
  explicit RawPeer(std::string const& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd_, reinterpret_cast<sockaddr const*>(&addr), sizeof addr) < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~RawPeer() override {
    if (fd_ >= 0) ::close(fd_);
  }
  RawPeer(RawPeer const&) = delete;
  RawPeer& operator=(RawPeer const&) = delete;

  int fd() const override { return fd_; }
  short events() const override { return static_cast<short>(POLLIN | (sent_ < out_.size() ? POLLOUT : 0)); }
  void serve() override {
    while (fd_ >= 0 && sent_ < out_.size()) {
      ssize_t const n = ::send(fd_, out_.data() + sent_, out_.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0) {
        // Refused once the daemon dropped us; what it said before is still to be read.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) sent_ = out_.size();
        break;
      }
      sent_ += static_cast<std::size_t>(n);
      if (sent_ == out_.size()) allSent();
    }
    receive();
  }

  bool hungUpOn() const { return hungUpOn_; }
  std::string const& received() const { return in_; }

 protected:
  void write(std::string text) { out_ = std::move(text); }
  virtual void allSent() {}
  virtual void receive() {
    char buffer[65536];
    for (;;) {
      ssize_t const n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        in_.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
      hungUpOn_ = true;
      hangUp();
      return;
    }
  }
  void hangUp() {
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  std::string out_;
  std::size_t sent_ = 0;
  std::string in_;
  bool hungUpOn_ = false;
};

// 1 MiB and no newline.
class EndlessLine : public RawPeer {
 public:
  explicit EndlessLine(std::string const& path) : RawPeer(path) { write(std::string(1 << 20, 'a')); }
};

// NULs, bytes that are not UTF-8, terminal escapes and random bytes, in lines.
class Garbage : public RawPeer {
 public:
  Garbage(std::string const& path, unsigned seed) : RawPeer(path) {
    std::mt19937 rng(seed);
    std::string text = std::string("show\0kernel", 11) + "\xff\xfe\xc3\x28\x1b[2J\x07\n";
    while (text.size() < 64 * 1024) {
      auto const c = static_cast<char>(rng() % 256);
      text += rng() % 64 == 0 ? '\n' : c;
    }
    write(text);
  }
};

// Asks for a long reply and ends its side of the stream at once, as `nc -U` does when its
// input ends, then reads.
class EndsItsSide : public RawPeer {
 public:
  EndsItsSide(std::string const& path, std::string request) : RawPeer(path) { write(request + "\n"); }

 protected:
  void allSent() override { ::shutdown(fd(), SHUT_WR); }
};

// Asks for a long reply and hangs up after its first bytes.
class HangUpMidReply : public RawPeer {
 public:
  HangUpMidReply(std::string const& path, std::string request) : RawPeer(path) { write(request + "\n"); }
  std::size_t readBeforeHangingUp() const { return received().size(); }

 protected:
  void receive() override {
    RawPeer::receive();
    if (fd() >= 0 && !received().empty()) hangUp();
  }
};

class DaemonAbuseTest : public testing::Test {
 protected:
  void writeConfig(std::string const& text) const {
    // Replaced in one step, the way an editor saves: a SIGHUP never reads half a file.
    std::string const next = config_ + ".next";
    std::ofstream(next) << text;
    if (std::filesystem::is_directory(config_)) std::filesystem::remove(config_);
    std::filesystem::rename(next, config_);
  }
  void start() {
    daemon_ = std::make_unique<DaemonProcess>(
        std::vector<std::string>{tool("kmfibd"), "run", "--config", config_, "--control", socket_});
  }

  // Serves the parties and the daemon's standard error until `done`; false when no
  // descriptor was ready for 300 polls in a row: someone waits forever.
  bool pump(std::function<std::vector<PollParty*>()> const& parties, std::function<bool()> const& done) {
    for (int quiet = 0; !done();) {
      std::vector<pollfd> fds;
      std::vector<PollParty*> who;
      for (PollParty* p : parties()) {
        if (p->fd() < 0) continue;
        fds.push_back(pollfd{p->fd(), p->events(), 0});
        who.push_back(p);
      }
      if (daemon_->errFd() >= 0) fds.push_back(pollfd{daemon_->errFd(), POLLIN, 0});
      if (::poll(fds.data(), fds.size(), 100) <= 0) {
        if (++quiet >= 300) return false;
        continue;
      }
      quiet = 0;
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        if (i < who.size()) {
          who[i]->serve();
        } else {
          daemon_->err();
        }
      }
    }
    return true;
  }
  bool pump(std::vector<PollParty*> const& parties) {
    return pump([&] { return parties; },
                [&] { return std::all_of(parties.begin(), parties.end(), [](auto* p) { return p->fd() < 0; }); });
  }

  // One request on a connection of its own; the whole reply.
  std::string ask(std::string const& request) {
    std::string reply;
    ScriptedPeer peer(socket_, "ask", {{request, [&](std::string const& r) { return reply = r, std::string(); }}},
                      Pace::lockstep);
    EXPECT_TRUE(pump({&peer})) << request << "\n" << daemon_->err();
    EXPECT_EQ(peer.faults(), std::vector<std::string>{}) << request;
    return reply;
  }
  // Asks until the reply's records are `expected`; between questions it reads the daemon's
  // output, at most 200 times.
  bool askUntil(std::string const& request, std::multiset<std::string> const& expected) {
    for (int round = 0; round < 200; ++round) {
      if (recordsOf(ask(request)) == expected) return true;
      daemon_->err(50);
    }
    return false;
  }

  TestSupport::TempDir dir_;
  std::string config_ = dir_.file("kmfibd.conf");
  std::string socket_ = dir_.file("kmfibd.sock");
  std::unique_ptr<DaemonProcess> daemon_;
};

// ----- Two hundred clients at once, and peers that abuse the socket among them

constexpr int bigRoutes = 12000;

std::string bigSource(int k) { return "10." + str(k / 256 % 256) + "." + str(k % 256) + ".1"; }
std::string bigGroup(int k) { return "239.1." + str(k / 256 % 256) + "." + str(k % 256); }

// The default VRF with two routes, and VRF big in namespace nsbig with many: its `show`
// replies are longer than the daemon's bound for unread replies.
std::string loadConfig() {
  std::string text =
      "netns nsbig\n"
      "link default eth1 11\nlink default eth2 12\nintf Ethernet1 eth1\nintf Ethernet2 eth2\n"
      "config default\nrequest pimd default Ethernet1\nrequest pimd default Ethernet2\ntable default t1\n"
      "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1 oif Ethernet2\n"
      "route default t1 10.0.0.2 239.1.1.2 iif Ethernet2 oif Ethernet1\n"
      "link nsbig vb1 31\nlink nsbig vb2 32\nintf EthernetB1 vb1\nintf EthernetB2 vb2\nvrf big netns nsbig\n"
      "config big\nrequest pimd big EthernetB1\nrequest pimd big EthernetB2\ntable big tb\n";
  for (int k = 0; k < bigRoutes; ++k) {
    text += "route big tb " + bigSource(k) + " " + bigGroup(k) + " iif EthernetB1 oif EthernetB2\n";
  }
  return text;
}

std::multiset<std::string> bigKernel() {
  std::multiset<std::string> records{
      "netns ns=nsbig socket=open mrt=on pim=on unresolved-entries=10 unresolved-buffers=3",
      "vif ns=nsbig af=4 index=0 ifindex=0 flags=register threshold=1",
      "vif ns=nsbig af=4 index=1 ifindex=31 flags=use-ifindex threshold=1",
      "vif ns=nsbig af=4 index=2 ifindex=32 flags=use-ifindex threshold=1"};
  for (int k = 0; k < bigRoutes; ++k) {
    records.insert("mfc ns=nsbig af=4 source=" + bigSource(k) + " group=" + bigGroup(k) + " iif=1 oifs=2");
  }
  return records;
}

std::multiset<std::string> bigMroute() {
  std::multiset<std::string> records;
  for (int k = 0; k < bigRoutes; ++k) {
    records.insert("mroute vrf=big source=" + bigSource(k) + " group=" + bigGroup(k) +
                   " table=tb iif=EthernetB1 oifs=EthernetB2 kernel=match");
  }
  return records;
}

// What one client does, each reply exactly as it must be: a namespace of its own, a route of
// its own in the shared table, a malformed statement, everything removed again.
std::vector<ScriptedPeer::Exchange> clientScript(int i) {
  std::string const ns = "c" + str(i);
  std::string const source = "10.200." + str(i / 256) + "." + str(i % 256);
  std::string const group = "239.200." + str(i / 256) + "." + str(i % 256);
  std::regex const mroute("mroute vrf=default source=" + source + " group=" + group +
                          " table=t1 iif=Ethernet1 oifs=Ethernet2 kernel=(match|missing)\nok\n");
  auto const exactly = ScriptedPeer::exactly;
  return {
      {"netns " + ns, exactly("ok\n")},
      {"link " + ns + " e" + str(i) + " " + str(1000 + i), exactly("ok\n")},
      {"show kernel " + ns,
       exactly("netns ns=" + ns + " socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0\nok\n")},
      {"route default t1 " + source + " " + group + " iif Ethernet1 oif Ethernet2", exactly("ok\n")},
      {"show mroute default " + source + " " + group,
       [mroute](std::string const& reply) {
         return std::regex_match(reply, mroute) ? std::string() : "not the client's route";
       }},
      {"route default t1 " + source, exactly("error: missing group\n")},
      {"no route default t1 " + source + " " + group, exactly("ok\n")},
      {"no netns " + ns, exactly("ok\n")},
      {"show kernel " + ns, exactly("error: no namespace " + ns + "\n")},
  };
}

TEST_F(DaemonAbuseTest, HundredsOfClientsAreServedWhileAbusivePeersAreDropped) {
  writeConfig(loadConfig());
  {
    // Under AddressSanitizer freed memory waits in a quarantine, which would read as growth;
    // the daemon's own memory is what is bounded here. Other programs ignore the variable.
    char const* held = std::getenv("ASAN_OPTIONS");
    std::string const options = held ? held : "";
    ::setenv("ASAN_OPTIONS", (options + (options.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(), 1);
    start();
    if (held) {
      ::setenv("ASAN_OPTIONS", options.c_str(), 1);
    } else {
      ::unsetenv("ASAN_OPTIONS");
    }
  }
  ASSERT_TRUE(daemon_->waitForErr("full review finished: " + str(bigRoutes) + " MFC updates in namespace nsbig"))
      << daemon_->err();
  ASSERT_TRUE(daemon_->waitForErr("full review finished: 2 MFC updates in namespace default")) << daemon_->err();

  // The long replies, checked once against what the file states, then byte for byte.
  std::string const kernelReply = ask("show kernel nsbig");
  std::string const mrouteReply = ask("show mroute big");
  ASSERT_EQ(recordsOf(kernelReply), bigKernel());
  ASSERT_EQ(recordsOf(mrouteReply), bigMroute());
  ASSERT_GT(mrouteReply.size(), std::size_t{1} << 20) << "longer than the bound for unread replies";
  std::string const defaultKernel = ask("show kernel default");

  int const clients = 200;
  int const waves = 1 + scale();
  Memory const atStart = memoryOf(daemon_->pid());
  Memory before;
  for (int wave = 0; wave < waves; ++wave) {
    std::vector<std::unique_ptr<PollParty>> parties;
    auto const add = [&parties](auto party) {
      auto* raw = party.get();
      parties.push_back(std::move(party));
      return raw;
    };
    auto* endless = add(std::make_unique<EndlessLine>(socket_));
    auto* garbage = add(std::make_unique<Garbage>(socket_, static_cast<unsigned>(wave)));
    auto* hangUp = add(std::make_unique<HangUpMidReply>(socket_, "show kernel nsbig"));
    auto* endsItsSide = add(std::make_unique<EndsItsSide>(socket_, "show kernel nsbig"));
    // A reader of long replies, asking for them all at once and reading as fast as it can.
    std::vector<ScriptedPeer*> scripted{add(std::make_unique<ScriptedPeer>(
        socket_, "reader",
        std::vector<ScriptedPeer::Exchange>{{"show kernel nsbig", ScriptedPeer::exactly(kernelReply)},
                                            {"show mroute big", ScriptedPeer::exactly(mrouteReply)},
                                            {"show kernel nsbig", ScriptedPeer::exactly(kernelReply)}},
        Pace::pipelined))};
    for (int i = 0; i < clients; ++i) {
      scripted.push_back(add(std::make_unique<ScriptedPeer>(socket_, "client " + str(i), clientScript(i),
                                                            i % 2 ? Pace::pipelined : Pace::lockstep)));
    }
    std::vector<PollParty*> all;
    for (auto const& p : parties) all.push_back(p.get());
    ASSERT_TRUE(pump(all)) << "wave " << wave << ": a peer waits forever\n" << daemon_->err();

    for (auto* peer : scripted) {
      EXPECT_TRUE(peer->complete()) << "wave " << wave;
      EXPECT_EQ(peer->faults(), std::vector<std::string>{}) << "wave " << wave;
    }
    EXPECT_TRUE(endless->hungUpOn()) << "wave " << wave;
    EXPECT_EQ(endless->received(), "") << "no reply to a request never ended";
    EXPECT_TRUE(garbage->hungUpOn()) << "wave " << wave;
    EXPECT_EQ(garbage->received(), "error: the request is not text; closing the connection\n");
    EXPECT_TRUE(kernelReply.starts_with(hangUp->received())) << hangUp->received().substr(0, 200);
    EXPECT_LT(hangUp->readBeforeHangingUp(), kernelReply.size());
    EXPECT_TRUE(endsItsSide->hungUpOn());
    EXPECT_TRUE(endsItsSide->received() == kernelReply)
        << "a peer that ended its side got " << endsItsSide->received().size() << " bytes of " << kernelReply.size();
    if (wave == 0) before = memoryOf(daemon_->pid());
  }
  Memory const after = memoryOf(daemon_->pid());
  std::cout << "kmfibd memory: VmRSS " << atStart.rssKiB << " KiB before any client, " << before.rssKiB
            << " KiB after the first wave, " << after.rssKiB
            << " KiB after " << waves << " waves of " << clients << " clients, 3 abusive peers and one that ends its side; peak VmHWM "
            << after.peakKiB << " KiB\n";
  ASSERT_GT(before.rssKiB, 0);
  // Every wave leaves what the first left: nothing is kept of the peers that came and went.
  EXPECT_LE(after.rssKiB, before.rssKiB + 4 * 1024);
  // Nor of what they sent: the endless line alone is 1 MiB a wave, the garbage 64 KiB.
  EXPECT_LE(after.rssKiB, atStart.rssKiB + 16 * 1024);

  // Every abusive peer was dropped with its reason, and the daemon serves on as before.
  std::string const log = daemon_->err();
  EXPECT_EQ(count(log, "control: peer dropped: request line longer than 4096 bytes"), std::size_t(waves));
  EXPECT_EQ(count(log, "control: peer dropped: the request is not text"), std::size_t(waves));
  EXPECT_EQ(count(log, "control: peer dropped: Broken pipe") + count(log, "control: peer dropped: Connection reset"),
            std::size_t(waves));
  EXPECT_EQ(count(log, "control: peer dropped:"), std::size_t(3 * waves)) << log;
  EXPECT_TRUE(askUntil("show kernel default", recordsOf(defaultKernel)));
  EXPECT_EQ(ask("show kernel nsbig"), kernelReply);
  daemon_->signal(SIGTERM);
  EXPECT_EQ(daemon_->wait(), 0);
}

// ----- A hundred SIGHUPs while clients keep asking

// A configuration of the default VRF: its devices, interfaces and VIFs always the same, so
// the VIF numbers do not depend on the history; extra namespaces, two tables of random
// preference and random routes, some keys in both tables. The tables stay: a table removed
// with its routes leaves their kernel entries to the audit, which is off here.
struct Configuration {
  std::string text;
  std::multiset<std::string> kernel;  // the records of `show kernel` once it is applied
};

Configuration randomConfiguration(std::mt19937& rng) {
  Configuration c;
  c.text =
      "link default eth1 11\nlink default eth2 12\nlink default eth3 13\n"
      "intf Ethernet1 eth1\nintf Ethernet2 eth2\nintf Ethernet3 eth3\nconfig default\n"
      "request pimd default Ethernet1\nrequest pimd default Ethernet2\nrequest pimd default Ethernet3\n";
  c.kernel = {"netns ns=default socket=open mrt=on pim=on unresolved-entries=10 unresolved-buffers=3",
              "vif ns=default af=4 index=0 ifindex=0 flags=register threshold=1",
              "vif ns=default af=4 index=1 ifindex=11 flags=use-ifindex threshold=1",
              "vif ns=default af=4 index=2 ifindex=12 flags=use-ifindex threshold=1",
              "vif ns=default af=4 index=3 ifindex=13 flags=use-ifindex threshold=1"};
  for (int n = 0; n < 5; ++n) {
    if (rng() % 2) continue;
    c.text += "netns n" + str(n) + "\n";
    c.kernel.insert("netns ns=n" + str(n) + " socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0");
  }
  int const preferences[] = {50, 100, 150};
  struct Table {
    std::string name;
    int preference;
    int firstKey;
  };
  std::vector<Table> tables;
  for (Table t : {Table{"t1", 0, 0}, Table{"t2", 0, 10}}) {
    t.preference = preferences[rng() % 3];
    c.text += "table default " + t.name + " preference " + str(t.preference) + "\n";
    tables.push_back(t);
  }
  // Per key, the best route: the lowest preference, ties to the table that sorts first.
  std::map<int, std::pair<std::pair<int, std::string>, std::string>> best;
  for (auto const& t : tables) {
    for (int k = t.firstKey; k < t.firstKey + 30; ++k) {
      if (rng() % 2) continue;
      int const iif = 1 + static_cast<int>(rng() % 3);
      std::string oifNames;
      std::string oifVifs;
      for (int o = 1; o <= 3; ++o) {
        if (o == iif || rng() % 2) continue;
        oifNames += (oifNames.empty() ? "" : ",") + std::string("Ethernet") + str(o);
        oifVifs += (oifVifs.empty() ? "" : ",") + str(o);
      }
      std::string const source = "10.1.0." + str(k);
      std::string const group = "239.2.0." + str(k);
      c.text += "route default " + t.name + " " + source + " " + group + " iif Ethernet" + str(iif) +
                (oifNames.empty() ? "" : " oif " + oifNames) + "\n";
      std::string const mfc = "mfc ns=default af=4 source=" + source + " group=" + group + " iif=" + str(iif) +
                              " oifs=" + (oifVifs.empty() ? "-" : oifVifs);
      auto const rank = std::make_pair(t.preference, t.name);
      auto it = best.find(k);
      if (it == best.end() || rank < it->second.first) best[k] = {rank, mfc};
    }
  }
  for (auto const& [key, route] : best) c.kernel.insert(route.second);
  return c;
}

// A good file with one fault added; the daemon must refuse it whole.
std::string brokenConfiguration(std::mt19937& rng) {
  std::string text = randomConfiguration(rng).text;
  switch (rng() % 5) {
    case 0:
      return text + "route default t9 10.9.9.9 239.9.9.9 iif Ethernet1\n";  // no such table
    case 1:
      return "frobnicate\n" + text;  // no such statement
    case 2:
      return text + "link default eth4 11\n";  // an interface index twice
    case 3:
      return text + "advance 1\n";  // no place in a configuration
    default:
      return text + "show kernel\n";  // likewise
  }
}

// What a client asks while the file changes under the daemon: a namespace of its own made
// and removed, `show` of the VRF the file describes, each reply whole and well formed.
std::vector<ScriptedPeer::Exchange> busyScript(int i) {
  std::string const ns = "b" + str(i);
  auto const exactly = ScriptedPeer::exactly;
  auto const records = [](std::string prefix, std::string must) {
    return [prefix, must](std::string const& reply) -> std::string {
      auto lines = linesOf(reply);
      if (lines.empty() || lines.back() != "ok") return "does not end in ok";
      lines.pop_back();
      for (auto const& line : lines) {
        if (!line.starts_with(prefix) && !line.starts_with("netns ") && !line.starts_with("vif ")) {
          return "a record that is not " + prefix + ": " + line;
        }
      }
      if (std::find(lines.begin(), lines.end(), must) == lines.end()) return "without " + must;
      return {};
    };
  };
  return {
      {"netns " + ns, exactly("ok\n")},
      {"show kernel " + ns,
       exactly("netns ns=" + ns + " socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0\nok\n")},
      {"show kernel default",
       records("mfc ns=default ", "vif ns=default af=4 index=3 ifindex=13 flags=use-ifindex threshold=1")},
      {"show status default", records("status vrf=default ", "status vrf=default kind=reverse vif=3 intf=Ethernet3")},
      {"no netns " + ns, exactly("ok\n")},
  };
}

TEST_F(DaemonAbuseTest, AHundredSighupsWhileClientsAskLeaveTheLastGoodConfiguration) {
  std::mt19937 rng(17);
  Configuration lastGood = randomConfiguration(rng);
  writeConfig(lastGood.text);
  start();
  ASSERT_TRUE(daemon_->waitForErr("ready: IPv4 agent")) << daemon_->err();

  int const busy = 16;
  std::vector<std::unique_ptr<ScriptedPeer>> peers(busy);
  std::vector<std::string> faults;
  int rounds = 0;
  bool asking = true;
  // Each client that is done leaves its faults and a new one takes its place.
  auto const parties = [&] {
    std::vector<PollParty*> all;
    for (int i = 0; i < busy; ++i) {
      auto& peer = peers[static_cast<std::size_t>(i)];
      if (peer && peer->fd() < 0) {
        if (!peer->complete()) faults.push_back("client b" + str(i) + " was not answered in full");
        faults.insert(faults.end(), peer->faults().begin(), peer->faults().end());
        peer.reset();
      }
      if (!peer && asking) {
        peer = std::make_unique<ScriptedPeer>(socket_, "b" + str(i), busyScript(i),
                                              i % 2 ? Pace::pipelined : Pace::lockstep);
        ++rounds;
      }
      if (peer) all.push_back(peer.get());
    }
    return all;
  };

  int const signals = 100 * scale();
  int applied = 0;
  int refused = 0;
  int directories = 0;
  for (int n = 0; n < signals; ++n) {
    // The last ones are broken: what stands at the end is the last good one.
    bool const good = n < signals - 3 && rng() % 3 != 0;
    Configuration next;
    if (good) {
      next = randomConfiguration(rng);
      writeConfig(next.text);
    } else if (rng() % 8 == 0) {
      // The path is a directory now, which reads as nothing at all.
      ++directories;
      std::filesystem::remove(config_);
      std::filesystem::create_directory(config_);
    } else {
      writeConfig(brokenConfiguration(rng));
    }
    std::size_t const mark = daemon_->err().size();
    daemon_->signal(SIGHUP);
    std::string const appliedText = "configuration " + config_ + " applied:";
    std::string const refusedText = "configuration refused, nothing changed:";
    auto const answered = [&] {
      std::string const& log = daemon_->err();
      return log.find(appliedText, mark) != std::string::npos || log.find(refusedText, mark) != std::string::npos;
    };
    ASSERT_TRUE(pump(parties, answered)) << "SIGHUP " << n << " unanswered\n" << daemon_->err();
    bool const wasApplied = daemon_->err().find(appliedText, mark) != std::string::npos;
    EXPECT_EQ(wasApplied, good) << "SIGHUP " << n << ": " << daemon_->err().substr(mark);
    (wasApplied ? applied : refused) += 1;
    if (good) lastGood = next;
  }
  asking = false;
  ASSERT_TRUE(pump(parties, [&] { return parties().empty(); })) << daemon_->err();
  EXPECT_EQ(faults, std::vector<std::string>{});
  EXPECT_EQ(count(daemon_->err(), config_ + ": not a regular file"), std::size_t(directories));
  std::cout << signals << " SIGHUPs: " << applied << " files applied, " << refused << " refused (" << directories
            << " of them a directory); " << rounds
            << " client connections meanwhile\n";
  EXPECT_GT(rounds, 2 * busy) << "clients were asking all along";

  EXPECT_TRUE(askUntil("show kernel", lastGood.kernel)) << difference(lastGood.kernel, recordsOf(ask("show kernel")));
  EXPECT_EQ(ask("show machines"), "machine vrf=default ns=default tables=yes vif-review=yes key-sync=yes\nok\n");
  daemon_->signal(SIGTERM);
  EXPECT_EQ(daemon_->wait(), 0);
}

}  // namespace
