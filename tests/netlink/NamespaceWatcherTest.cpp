// The namespace directory watched in a directory of the test's own: plain files stand for
// the namespaces' mount points.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "netlink/NamespaceWatcher.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class NamespaceWatcherTest : public testing::Test {
 protected:
  std::unique_ptr<Netlink::NamespaceWatcher> watch(std::string const& dir) {
    return std::make_unique<Netlink::NamespaceWatcher>(
        dir, [this](std::string const& name, bool present) { events_.push_back((present ? "+" : "-") + name); });
  }
  static void touch(fs::path const& p) { std::ofstream{p}; }

  TestSupport::TempDir tmp_;
  std::vector<std::string> events_;
};

TEST_F(NamespaceWatcherTest, ReadsWhatIsThereThenFollowsChanges) {
  fs::path const dir = tmp_.path() / "netns";
  fs::create_directory(dir);
  touch(dir / "blue");
  auto w = watch(dir.string());
  EXPECT_EQ(events_, std::vector<std::string>{"+blue"});

  touch(dir / "red");
  fs::rename(dir / "blue", dir / "green");
  fs::remove(dir / "red");
  w->handleReadable();
  EXPECT_EQ(events_, (std::vector<std::string>{"+blue", "+red", "-blue", "+green", "-red"}));
  EXPECT_EQ(w->names(), std::set<std::string>{"green"});
}

TEST_F(NamespaceWatcherTest, ADirectoryMadeLaterIsWaitedFor) {
  fs::path const dir = tmp_.path() / "netns";
  auto w = watch(dir.string() + "/");
  EXPECT_TRUE(w->names().empty());
  fs::create_directory(dir);
  w->handleReadable();
  touch(dir / "blue");
  w->handleReadable();
  EXPECT_EQ(events_, std::vector<std::string>{"+blue"});
}

TEST_F(NamespaceWatcherTest, ARemovedDirectoryTakesItsNamespacesAlong) {
  fs::path const dir = tmp_.path() / "netns";
  fs::create_directory(dir);
  touch(dir / "blue");
  auto w = watch(dir.string());
  fs::remove_all(dir);
  w->handleReadable();
  EXPECT_EQ(events_, (std::vector<std::string>{"+blue", "-blue"}));
  fs::create_directory(dir);
  w->handleReadable();
  touch(dir / "red");
  w->handleReadable();
  EXPECT_EQ(events_.back(), "+red");
}

}  // namespace
