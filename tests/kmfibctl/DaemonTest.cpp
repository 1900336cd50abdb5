// kmfibd run on the simulated kernel, driven from outside the way an operator drives it:
// a configuration file, kmfibctl, a raw peer that never ends its line, SIGHUP with a changed
// and then a broken file, SIGTERM. Waiting is on the daemon's own output and on its replies
// (DaemonProcess), never on a timer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "tests/kmfibctl/DaemonProcess.h"
#include "tests/support/TempDir.h"
#include "tools/kmfibctl/ControlClient.h"

namespace {

using KmfibctlTest::DaemonProcess;
using testing::HasSubstr;
using testing::Not;

std::string tool(std::string const& name) { return std::string(KMFIB_TOOLS_DIR) + "/" + name; }

// The JSON kmfibctl prints: an array of flat objects whose values are strings, numbers or
// arrays of those. Just enough of a reader to check it is JSON and what it holds.
class Json {
 public:
  using Scalar = std::variant<std::string, double>;
  using Value = std::variant<std::string, double, std::vector<Scalar>>;
  using Object = std::map<std::string, Value>;

  static std::vector<Object> parseArray(std::string const& text) {
    Json j(text);
    std::vector<Object> out;
    j.expect('[');
    if (j.peek() == ']') return j.expect(']'), j.end(), out;
    for (;;) {
      out.push_back(j.object());
      if (j.peek() == ']') break;
      j.expect(',');
    }
    j.expect(']');
    j.end();
    return out;
  }

 private:
  explicit Json(std::string const& text) : t_(text) {}
  char peek() {
    while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
    return i_ < t_.size() ? t_[i_] : '\0';
  }
  void expect(char c) {
    if (peek() != c) throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(i_));
    ++i_;
  }
  void end() {
    if (peek() != '\0') throw std::runtime_error("trailing text");
  }
  std::string string() {
    expect('"');
    std::string out;
    while (i_ < t_.size() && t_[i_] != '"') {
      if (t_[i_] == '\\') ++i_;
      out += t_[i_++];
    }
    expect('"');
    return out;
  }
  Scalar scalar() {
    if (peek() == '"') return string();
    std::size_t used = 0;
    double const v = std::stod(t_.substr(i_), &used);
    i_ += used;
    return v;
  }
  Object object() {
    Object out;
    expect('{');
    for (;;) {
      std::string key = string();
      expect(':');
      if (peek() == '[') {
        expect('[');
        std::vector<Scalar> list;
        while (peek() != ']') {
          list.push_back(scalar());
          if (peek() == ',') expect(',');
        }
        expect(']');
        out[key] = list;
      } else {
        std::visit([&](auto const& v) { out[key] = v; }, scalar());
      }
      if (peek() == '}') break;
      expect(',');
    }
    expect('}');
    return out;
  }

  std::string const& t_;
  std::size_t i_ = 0;
};

class DaemonTest : public testing::Test {
 protected:
  void writeConfig(std::string const& text) const { std::ofstream(config_) << text; }

  std::unique_ptr<DaemonProcess> start() {
    auto daemon = std::make_unique<DaemonProcess>(
        std::vector<std::string>{tool("kmfibd"), "run", "--config", config_, "--control", socket_});
    return daemon;
  }
  DaemonProcess::Result ctl(std::vector<std::string> words, std::string const& input = {}) const {
    words.insert(words.begin(), {tool("kmfibctl"), "--control", socket_});
    return DaemonProcess::run(words, input);
  }
  // `show` over a connection of the test's own.
  std::vector<std::string> show(std::string const& what) const {
    Kmfibctl::ControlClient client(socket_);
    Kmfibctl::ControlClient::Reply reply;
    if (!client.connected() || !client.request(what, reply) || !reply.ok) return {"<no reply>"};
    return reply.lines;
  }
  // Asks until the reply holds `line`; between questions it waits on the daemon's output.
  bool waitForShow(DaemonProcess& daemon, std::string const& what, std::string const& line, bool present = true) const {
    for (int round = 0; round < 200; ++round) {
      auto const lines = show(what);
      bool const has = std::find(lines.begin(), lines.end(), line) != lines.end();
      if (has == present) return true;
      daemon.err(50);
    }
    return false;
  }

  TestSupport::TempDir dir_;
  std::string config_ = dir_.file("kmfibd.conf");
  std::string socket_ = dir_.file("kmfibd.sock");
};

constexpr char const* firstConfig = R"(# the default VRF, two devices, two routes
netns ns1
link default eth1 11
link default eth2 12
link ns1 veth1 21
link ns1 veth2 22
intf Ethernet1 eth1
intf Ethernet2 eth2
config default
request pimd default Ethernet1
request pimd default Ethernet2
table default t1
route default t1 10.0.0.1 239.1.1.1 iif Ethernet1 oif Ethernet2
route default t1 10.0.0.2 239.1.1.2 iif Ethernet2 oif Ethernet1
)";

TEST_F(DaemonTest, ServesOperatorsFromStartToStop) {
  writeConfig(firstConfig);
  auto daemon = start();
  ASSERT_TRUE(daemon->waitForErr("kmfibd/1 ready: IPv4 agent, 13 objects configured")) << daemon->err();
  ASSERT_TRUE(daemon->waitForErr("full review finished: 2 MFC updates in namespace default")) << daemon->err();
  EXPECT_THAT(show("show kernel default"),
              testing::IsSupersetOf({"mfc ns=default af=4 source=10.0.0.1 group=239.1.1.1 iif=1 oifs=2",
                                     "mfc ns=default af=4 source=10.0.0.2 group=239.1.1.2 iif=2 oifs=1"}));

  // A second VRF at run time, one statement a line on standard input.
  auto const added = ctl({},
                         "intf Ethernet3 veth1\nintf Ethernet4 veth2\nvrf red netns ns1\n"
                         "request pimd red Ethernet3\nrequest pimd red Ethernet4\ntable red t\n"
                         "route red t 10.1.0.1 239.2.2.2 iif Ethernet3 oif Ethernet4\nconfig red\n");
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, "");
  ASSERT_TRUE(waitForShow(*daemon, "show kernel ns1", "mfc ns=ns1 af=4 source=10.1.0.1 group=239.2.2.2 iif=1 oifs=2"))
      << daemon->err();

  auto const machines = ctl({"show", "machines"});
  EXPECT_EQ(machines.status, 0);
  EXPECT_EQ(machines.out,
            "machine vrf=default ns=default tables=yes vif-review=yes key-sync=yes\n"
            "machine vrf=red ns=ns1 tables=yes vif-review=yes key-sync=yes\n");

  // --json: one array per show, parsed back.
  auto const json = ctl({"--json", "show", "kernel", "ns1"});
  ASSERT_EQ(json.status, 0) << json.err;
  auto const records = Json::parseArray(json.out);
  auto const mfc = std::find_if(records.begin(), records.end(),
                                [](auto const& r) { return std::get<std::string>(r.at("kind")) == "mfc"; });
  ASSERT_NE(mfc, records.end()) << json.out;
  EXPECT_EQ(std::get<std::string>(mfc->at("group")), "239.2.2.2");
  EXPECT_EQ(std::get<double>(mfc->at("iif")), 1);
  EXPECT_EQ(std::get<std::vector<Json::Scalar>>(mfc->at("oifs")), std::vector<Json::Scalar>{2.0});
  EXPECT_EQ(std::get<double>(records.front().at("unresolved-entries")), 10);

  // A malformed statement: an error, exit status 1, nothing changed.
  auto const before = show("show kernel");
  auto const malformed = ctl({"route", "red", "t", "10.1.0.9"});
  EXPECT_EQ(malformed.status, 1);
  EXPECT_EQ(malformed.err, "error: missing group\n");
  auto const noTable = ctl({"route", "red", "nosuch", "10.1.0.9", "239.9.9.9"});
  EXPECT_EQ(noTable.status, 1);
  EXPECT_EQ(noTable.err, "error: no table nosuch in VRF red\n");
  EXPECT_EQ(show("show kernel"), before);

  // A peer that never ends its line holds nobody up.
  int const silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, socket_.c_str(), socket_.size() + 1);
  ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr const*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::send(silent, "show kern", 9, 0), 9);
  auto const served = ctl({"show", "status", "red"});
  EXPECT_EQ(served.status, 0);
  EXPECT_THAT(served.out, HasSubstr("status vrf=red kind=registered intf=Ethernet3 vif=1\n"));

  // SIGHUP with a changed file: its dropped route goes, its new one comes, the VRF stated
  // at run time stays.
  std::string changed = firstConfig;
  changed.replace(changed.find("route default t1 10.0.0.2"), std::string::npos,
                  "route default t1 10.0.0.3 239.1.1.3 iif Ethernet1 oif Ethernet2\n");
  writeConfig(changed);
  std::size_t mark = daemon->err().size();
  daemon->signal(SIGHUP);
  ASSERT_TRUE(daemon->waitForErr("configuration " + config_ + " applied: 2 changes", mark)) << daemon->err();
  EXPECT_TRUE(
      waitForShow(*daemon, "show kernel default", "mfc ns=default af=4 source=10.0.0.3 group=239.1.1.3 iif=1 oifs=2"));
  EXPECT_TRUE(waitForShow(*daemon, "show kernel default",
                          "mfc ns=default af=4 source=10.0.0.2 group=239.1.1.2 iif=2 oifs=1", false));
  EXPECT_THAT(show("show kernel ns1"),
              testing::Contains("mfc ns=ns1 af=4 source=10.1.0.1 group=239.2.2.2 iif=1 oifs=2"));

  // SIGHUP with a broken file: refused as a whole, the state stays.
  auto const held = show("show kernel");
  writeConfig("table default t2\nroute default t2 10.0.0.4 239.1.1.4\nroute default t1 10.0.0.5\n");
  mark = daemon->err().size();
  daemon->signal(SIGHUP);
  ASSERT_TRUE(daemon->waitForErr("configuration refused, nothing changed: " + config_ + ":3: missing group", mark))
      << daemon->err();
  EXPECT_EQ(show("show kernel"), held);
  EXPECT_EQ(show("show machines").size(), 2u);

  // SIGTERM: the agent is destroyed in order and the daemon exits 0.
  daemon->signal(SIGTERM);
  EXPECT_EQ(daemon->wait(), 0);
  ::close(silent);
  std::string const log = daemon->err();
  EXPECT_THAT(log, HasSubstr("kmfibd/1 SIGTERM received"));
  std::set<std::string> opened;
  std::regex const socketOpened("namespace (\\S+): socket (\\d+) opened");
  for (std::sregex_iterator it(log.begin(), log.end(), socketOpened), end; it != end; ++it) {
    opened.insert((*it)[1].str() + ": socket " + (*it)[2].str());
  }
  EXPECT_EQ(opened, (std::set<std::string>{"default: socket 3", "ns1: socket 4"}));
  std::string const stopping = log.substr(log.find("SIGTERM received"));
  for (auto const& socket : opened) {
    std::string const ns = socket.substr(0, socket.find(':'));
    std::string const fd = socket.substr(socket.rfind(' ') + 1);
    EXPECT_THAT(stopping, HasSubstr("namespace " + ns + ": multicast routing shut down on socket " + fd));
    EXPECT_THAT(stopping, HasSubstr("namespace " + socket + " closed"));
  }
  EXPECT_THAT(log, Not(HasSubstr("10.0.0.1"))) << "no line per route";
  EXPECT_NE(::access(socket_.c_str(), F_OK), 0) << "the control socket is removed";

  // Nobody there any more.
  auto const gone = ctl({"show", "kernel"});
  EXPECT_EQ(gone.status, 2);
  EXPECT_THAT(gone.err, HasSubstr("kmfibctl: cannot reach kmfibd at " + socket_));
}

TEST_F(DaemonTest, ABrokenConfigurationStopsTheStartWithFileAndLine) {
  writeConfig("table default t\nadvance 1\n");
  auto daemon = start();
  EXPECT_EQ(daemon->wait(), 1);
  EXPECT_EQ(daemon->err(), "error: " + config_ + ":2: advance: the daemon's clock is real time\n");
  EXPECT_NE(::access(socket_.c_str(), F_OK), 0) << "no control socket was made";
}

TEST_F(DaemonTest, SigintStopsLikeSigterm) {
  writeConfig("");
  auto daemon = start();
  ASSERT_TRUE(daemon->waitForErr("ready:")) << daemon->err();
  daemon->signal(SIGINT);
  EXPECT_EQ(daemon->wait(), 0);
  EXPECT_THAT(daemon->err(), HasSubstr("kmfibd/1 SIGINT received"));
}

struct UsageCase {
  char const* name;
  std::vector<std::string> argv;  // after the program
  bool daemon;
  int status;
  char const* output;  // on standard output for --help and --version, else on standard error
};

class Usage : public testing::TestWithParam<UsageCase> {};

TEST_P(Usage, AnswersWithTheRightStatus) {
  auto const& c = GetParam();
  std::vector<std::string> argv{tool(c.daemon ? "kmfibd" : "kmfibctl")};
  argv.insert(argv.end(), c.argv.begin(), c.argv.end());
  auto const r = DaemonProcess::run(argv);
  EXPECT_EQ(r.status, c.status);
  EXPECT_THAT(c.status == 0 ? r.out : r.err, HasSubstr(c.output));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, Usage,
    testing::Values(UsageCase{"CtlHelp", {"--help"}, false, 0, "usage: kmfibctl [--control PATH] [--json] [WORD...]"},
                    UsageCase{"CtlVersion", {"--version"}, false, 0, "kmfibctl 0.1"},
                    UsageCase{"CtlWrongOption", {"--frobnicate"}, false, 2, "usage: kmfibctl"},
                    UsageCase{"CtlControlWithoutPath", {"--control"}, false, 2, "usage: kmfibctl"},
                    UsageCase{"CtlNoDaemon",
                              {"--control", "/nonexistent/kmfibd.sock", "show", "kernel"},
                              false,
                              2,
                              "kmfibctl: cannot reach kmfibd at /nonexistent/kmfibd.sock"},
                    UsageCase{"RunHelp", {"run", "--help"}, true, 0, "kmfibd run [--af 4|6]"},
                    UsageCase{"RunVersion", {"run", "--version"}, true, 0, "kmfibd (kmfib) 0.1"},
                    UsageCase{"RunWrongKernel", {"run", "--kernel", "vax"}, true, 2, "kmfibd run"},
                    UsageCase{"RunWrongOption", {"run", "--frobnicate", "x"}, true, 2, "kmfibd run"},
                    UsageCase{"RunBadTrace", {"run", "--trace", "KernelMfibSm/12"}, true, 2, "error: --trace:"},
                    UsageCase{"RunUnknownTrace",
                              {"run", "--trace", "Nosuch/3"},
                              true,
                              2,
                              "error: --trace: unknown trace 'Nosuch' (KernelMfibAgent, KernelMfibSm, MfibDirSm, "
                              "MrtIcmpV6RelaySm, NetNsIntfStatusManager, NetNsIntfStatusManagerRoot, VifMrouteSyncSm, "
                              "kmfibd)\n"}),
    [](auto const& info) { return std::string(info.param.name); });

}  // namespace
