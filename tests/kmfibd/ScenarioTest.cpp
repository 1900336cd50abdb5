// Runs every script in tests/scenarios and examples on a fresh host and compares what it prints (the
// `show` output, then any error line) with the .out file beside it. A script's first line
// may give kmfibd's options: "# options: --af 6 --call-cost 0.001".
// KMFIB_UPDATE_SCENARIOS=1 rewrites the .out files from what the scripts print now.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

Kmfibd::Host::Options optionsOf(std::string const& script) {
  Kmfibd::Host::Options options;
  std::string const marker = "# options:";
  if (!script.starts_with(marker)) return options;
  std::istringstream words(script.substr(marker.size(), script.find('\n') - marker.size()));
  for (std::string w; words >> w;) {
    if (w == "--af") {
      words >> w;
      options.af = w == "6" ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
    } else if (w == "--call-cost") {
      words >> options.callCost;
    }
  }
  return options;
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
  Kmfibd::Host host(optionsOf(text));
  std::ostringstream out;
  Kmfibd::ScriptRunner(host, out, out).runText(script.filename().string(), text);
  if (std::getenv("KMFIB_UPDATE_SCENARIOS")) {
    std::ofstream(expected) << out.str();
    return;
  }
  ASSERT_TRUE(fs::exists(expected)) << expected << " is missing; run with KMFIB_UPDATE_SCENARIOS=1 to create it";
  EXPECT_EQ(out.str(), readFile(expected));
}

INSTANTIATE_TEST_SUITE_P(Scripts, Scenario, testing::ValuesIn(scenarios()),
                         [](auto const& info) {
                           std::string name = fs::path(info.param).filename().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
