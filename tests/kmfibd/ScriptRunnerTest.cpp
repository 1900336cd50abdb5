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

}  // namespace
