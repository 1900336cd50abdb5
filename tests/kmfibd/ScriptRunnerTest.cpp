// Script files run as streams: every file in turn, line by line, a last line without its
// newline included; the first refused statement stops the run with its file and line.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/ScriptRunner.h"

namespace {

class ScriptFiles : public testing::Test {
 protected:
  Kmfibd::ScriptFile file(std::string const& name, std::string const& text) {
    auto const path = dir / name;
    std::ofstream(path) << text;
    return Kmfibd::ScriptFile::read(path.string());
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::filesystem::path const dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("kmfibd-script-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  Kmfibd::Host host{{}};
  std::ostringstream out, err;
  Kmfibd::ScriptRunner runner{host, out, err};
};

TEST_F(ScriptFiles, FilesRunInTurnUpToTheFirstRefusal) {
  auto const first = file("first.kmfib", "netns red\nlink red eth1 5");  // no final newline
  auto const second = file("second.kmfib", "link red eth2 6\nlink nowhere eth3 7\nlink red eth4 8\n");
  EXPECT_EQ(runner.runFiles({first, second}), 2);
  EXPECT_EQ(host.kernel().links("red"),
            (std::vector<Kernel::SimKernel::Link>{{"eth1", 5}, {"eth2", 6}}));
  EXPECT_EQ(err.str().rfind("error: " + second.name + ":2: ", 0), 0u) << err.str();
}

TEST_F(ScriptFiles, AFileThatCannotBeReadStopsTheRun) {
  // Found when the run was set up, gone when its turn came.
  auto const gone = file("gone.kmfib", "netns blue\n");
  std::filesystem::remove(gone.name);
  EXPECT_EQ(runner.runFiles({gone, file("later.kmfib", "netns red\n")}), 2);
  EXPECT_EQ(err.str(), "error: " + gone.name + ": No such file or directory\n");
  EXPECT_FALSE(host.kernel().netns("red"));
}

// A pipe can be read once: its first line, read for the "#!" options before anything runs,
// must still run, and so must everything after it, past the first read's buffer.
TEST_F(ScriptFiles, APipeRunsWholeFromItsOneRead) {
  struct Case {
    std::string firstLine;
    std::size_t links;
  };
  for (auto const& c : std::vector<Case>{{"netns red", 3000}, {"#! --af 4", 3000}, {"netns red", 0}}) {
    std::string text = c.firstLine + "\n";
    if (c.firstLine[0] == '#') text += "netns red\n";
    for (std::size_t i = 0; i < c.links; ++i) text += "link red eth" + std::to_string(i) + " " + std::to_string(i + 1) + "\n";
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ASSERT_EQ(::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20), 1 << 20);  // the whole text fits: no writer thread
    ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fds[1]);
    auto const piped = Kmfibd::ScriptFile::read("/dev/fd/" + std::to_string(fds[0]));
    ::close(fds[0]);  // the file holds its own descriptor
    EXPECT_EQ(piped.firstLine, c.firstLine);
    Kmfibd::Host fresh{{}};
    std::ostringstream o, e;
    EXPECT_EQ(Kmfibd::ScriptRunner(fresh, o, e).runFiles({piped}), 0) << e.str();
    EXPECT_TRUE(fresh.kernel().netns("red")) << c.firstLine;
    EXPECT_EQ(fresh.kernel().links("red").size(), c.links) << c.firstLine;
  }
}

TEST_F(ScriptFiles, APipesRefusalNamesItsLine) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  std::string const text = "netns red\nlink nowhere eth1 5\n";
  ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fds[1]);
  auto const piped = Kmfibd::ScriptFile::read("/dev/fd/" + std::to_string(fds[0]));
  ::close(fds[0]);
  EXPECT_EQ(runner.runFiles({piped}), 2);
  EXPECT_EQ(err.str().rfind("error: " + piped.name + ":2: ", 0), 0u) << err.str();
  EXPECT_TRUE(host.kernel().netns("red"));
}

}  // namespace
