// The daemon in process on the simulated kernel, without running its loop: what a re-read
// configuration does to what the file and the control socket stated. Namespaces and VRFs
// suit this: their statements take effect at once and `show kernel` and `show status` print
// them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempDir.h"
#include "tools/kmfibd/Daemon.h"

namespace {

using Kmfibd::Daemon;
using testing::HasSubstr;

class DaemonReloadTest : public testing::Test {
 protected:
  void writeConfig(std::string const& text) const { std::ofstream(config_) << text; }
  std::unique_ptr<Daemon> start() {
    Daemon::Options options;
    options.configPath = config_;
    options.controlPath = dir_.file("control.sock");
    return std::make_unique<Daemon>(options);
  }
  // The namespaces the simulated kernel holds, one word each.
  static std::string namespaces(Daemon& daemon) {
    std::string const text = daemon.execute("show kernel");
    std::string out;
    for (std::size_t at = text.find("netns ns="); at != std::string::npos; at = text.find("netns ns=", at + 1)) {
      std::size_t const start = at + 9;
      out += (out.empty() ? "" : " ") + text.substr(start, text.find(' ', start) - start);
    }
    return out;
  }

  TestSupport::TempDir dir_;
  std::string config_ = dir_.file("kmfibd.conf");
};

TEST_F(DaemonReloadTest, TheFileWinsForWhatItStatesAndRunTimeStatementsStayOtherwise) {
  writeConfig("netns a\nnetns b\nlink b eb 5\n");
  auto daemon = start();
  EXPECT_EQ(namespaces(*daemon), "a b default");
  EXPECT_EQ(daemon->execute("netns r1"), "ok\n");
  EXPECT_EQ(daemon->execute("netns r2"), "ok\n");
  EXPECT_EQ(daemon->execute("no netns b"), "ok\n");

  // The new file drops a, states r2 itself and adds c; b stays removed (the control socket
  // removed it and the file no longer states it), r1 stays (given at run time).
  writeConfig("netns r2\nnetns c\n");
  EXPECT_TRUE(daemon->reload());
  EXPECT_EQ(namespaces(*daemon), "c default r1 r2");

  // r2 is the file's now: a file that no longer states it removes it.
  writeConfig("netns c\n");
  EXPECT_TRUE(daemon->reload());
  EXPECT_EQ(namespaces(*daemon), "c default r1");
}

TEST_F(DaemonReloadTest, ARefusedFileChangesNothing) {
  writeConfig("netns a\nvrf red netns a\n");
  auto daemon = start();
  std::string const kernel = daemon->execute("show kernel");
  for (auto const* broken : {
           "netns b\nlink b e1 3\nlink b e2 3\n",                // one interface index twice
           "netns b\nroute default nosuch 1.1.1.1 239.1.1.1\n",  // a route without its table
           "netns b\nbogus\n",                                   // a statement the parser refuses
           "netns b\nshow kernel\n",                             // no place in a configuration
       }) {
    writeConfig(broken);
    EXPECT_FALSE(daemon->reload()) << broken;
    EXPECT_EQ(daemon->execute("show kernel"), kernel) << broken;
  }
  // A run-time route left without its table by the new file: refused too.
  writeConfig("netns a\nvrf red netns a\ntable default t\n");
  ASSERT_TRUE(daemon->reload());
  EXPECT_EQ(daemon->execute("route default t 1.1.1.1 239.1.1.1"), "ok\n");
  writeConfig("netns a\nvrf red netns a\n");
  EXPECT_FALSE(daemon->reload());
  EXPECT_EQ(daemon->execute("no route default t 1.1.1.1 239.1.1.1"), "ok\n") << "the route and its table stayed";
}

TEST_F(DaemonReloadTest, APathThatIsNoLongerARegularFileIsRefused) {
  writeConfig("netns a\nnetns b\n");
  auto daemon = start();
  std::string const kernel = daemon->execute("show kernel");
  ASSERT_EQ(namespaces(*daemon), "a b default");
  std::filesystem::remove(config_);
  std::filesystem::create_directory(config_);
  EXPECT_FALSE(daemon->reload()) << "a directory is not an empty configuration";
  EXPECT_EQ(daemon->execute("show kernel"), kernel);
  std::filesystem::remove(config_);
  ASSERT_EQ(::mkfifo(config_.c_str(), 0600), 0);
  EXPECT_FALSE(daemon->reload()) << "a FIFO is refused without waiting for a writer";
  EXPECT_EQ(daemon->execute("show kernel"), kernel);
  std::filesystem::remove(config_);
  EXPECT_FALSE(daemon->reload()) << "gone";
  EXPECT_EQ(daemon->execute("show kernel"), kernel);
}

TEST_F(DaemonReloadTest, ControlRequestsAreRefusedWhereTheDaemonCannotCarryThemOut) {
  writeConfig("");
  auto daemon = start();
  EXPECT_EQ(daemon->execute(""), "ok\n");
  EXPECT_EQ(daemon->execute("# a comment"), "ok\n");
  EXPECT_EQ(daemon->execute("advance 1"), "error: advance: the daemon's clock is real time\n");
  EXPECT_EQ(daemon->execute("frobnicate"), "error: unknown statement 'frobnicate' (netns, link, intf, vrf, config, request, table, route, advance, restart, fault, show)\n");
  EXPECT_EQ(daemon->execute("no netns nosuch"), "error: no namespace nosuch\n");
  EXPECT_THAT(daemon->execute("show machines"), testing::EndsWith("ok\n"));
}

TEST_F(DaemonReloadTest, ABrokenFileStopsTheStart) {
  writeConfig("netns a\nlink a e1 0\n");
  EXPECT_THROW(start(), Kmfibd::ConfigError);
  std::filesystem::remove(config_);
  std::filesystem::create_directory(config_);
  try {
    start();
    ADD_FAILURE() << "started on a directory";
  } catch (Kmfibd::ConfigError const& e) {
    EXPECT_EQ(std::string(e.what()), config_ + ": not a regular file");
  }
  std::filesystem::remove(config_);
  writeConfig("route default t 1.1.1.1 239.1.1.1\n");
  try {
    start();
    FAIL() << "started";
  } catch (Kmfibd::ConfigError const& e) {
    EXPECT_EQ(std::string(e.what()), config_ + ":1: no table t in VRF default");
  }
}

}  // namespace
