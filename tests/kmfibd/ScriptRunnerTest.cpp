// Script files run as streams: every file in turn, line by line, a last line without its
// newline included; the first refused statement stops the run with its file and line.

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
  std::string file(std::string const& name, std::string const& text) {
    auto const path = dir / name;
    std::ofstream(path) << text;
    return path.string();
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
  std::string const first = file("first.kmfib", "netns red\nlink red eth1 5");  // no final newline
  std::string const second = file("second.kmfib", "link red eth2 6\nlink nowhere eth3 7\nlink red eth4 8\n");
  EXPECT_EQ(runner.runFiles({first, second}), 2);
  EXPECT_EQ(host.kernel().links("red"),
            (std::vector<Kernel::SimKernel::Link>{{"eth1", 5}, {"eth2", 6}}));
  EXPECT_EQ(err.str().rfind("error: " + second + ":2: ", 0), 0u) << err.str();
}

TEST_F(ScriptFiles, AFileThatCannotBeReadStopsTheRun) {
  std::string const missing = (dir / "missing.kmfib").string();
  EXPECT_EQ(runner.runFiles({missing, file("later.kmfib", "netns red\n")}), 2);
  EXPECT_EQ(err.str(), "error: " + missing + ": cannot read the file\n");
  EXPECT_FALSE(host.kernel().netns("red"));
}

}  // namespace
