// Runs every script in tests/scenarios and examples on a fresh host and compares what it prints (the
// `show` output, then any error line) with the .out file beside it. A script's first line
// may give kmfibd's options ("#! --af 6 --call-cost 0.001"), read by the same code as
// `kmfibd script` reads it.
// KMFIB_UPDATE_SCENARIOS=1 rewrites the .out files from what the scripts print now.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/RunProgram.h"
#include "tools/kmfibd/ScriptOptions.h"
#include "tools/kmfibd/ScriptRunner.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> scenarioDirs() {
  return {fs::path(KMFIB_SOURCE_DIR) / "tests" / "scenarios", fs::path(KMFIB_SOURCE_DIR) / "examples"};
}

std::string readFile(fs::path const& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Scripts by path without their extension.
std::vector<std::string> scenarios() {
  std::vector<std::string> names;
  for (auto const& dir : scenarioDirs()) {
    for (auto const& e : fs::directory_iterator(dir)) {
      if (e.path().extension() == ".kmfib") names.push_back((dir / e.path().stem()).string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Scenario : public testing::TestWithParam<std::string> {};

TEST_P(Scenario, PrintsWhatItsOutFileSays) {
  fs::path const script = GetParam() + ".kmfib";
  fs::path const expected = GetParam() + ".out";
  std::string const text = readFile(script);
  Kmfibd::ScriptOptions options;
  options.set(Kmfibd::ScriptOptions::header(text));
  Kmfibd::Host host(options.host());
  std::ostringstream out;
  Kmfibd::ScriptRunner(host, out, out).runText(script.filename().string(), text);
  if (std::getenv("KMFIB_UPDATE_SCENARIOS")) {
    std::ofstream(expected) << out.str();
    return;
  }
  ASSERT_TRUE(fs::exists(expected)) << expected << " is missing; run with KMFIB_UPDATE_SCENARIOS=1 to create it";
  EXPECT_EQ(out.str(), readFile(expected));
}

// The file as it stands, through kmfibd itself: the "#!" line gives its options.
TEST_P(Scenario, RunsByItselfThroughKmfibd) {
  if (std::getenv("KMFIB_UPDATE_SCENARIOS")) GTEST_SKIP() << "the .out files are being rewritten";
  fs::path const script = GetParam() + ".kmfib";
  auto const r = TestSupport::runProgram(script.parent_path(), "kmfibd", {"script", script.filename().string()});
  std::string const expected = readFile(GetParam() + ".out");
  EXPECT_EQ(r.out + r.err, expected);
  EXPECT_EQ(r.status, expected.find("\nerror: ") == std::string::npos && !expected.starts_with("error: ") ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(Scripts, Scenario, testing::ValuesIn(scenarios()),
                         [](auto const& info) {
                           std::string name = fs::path(info.param).filename().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
