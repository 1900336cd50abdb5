// A script's "#!" line: only the first line, the same checks as the command line.

#include <gtest/gtest.h>

#include <string>

#include "tools/kmfibd/ScriptOptions.h"

namespace {

using Kmfibd::ScriptOptions;

TEST(ScriptOptions, HeaderIsTheFirstLineOnly) {
  struct Case {
    std::string script;
    ScriptOptions::Given given;
  };
  Case const cases[] = {
      {"#! --af 6 --call-cost 0.01\nroute x\n", {{"--af", "6"}, {"--call-cost", "0.01"}}},
      {"#! --af=6", {{"--af", "6"}}},
      {"#!\n#! --af 6\n", {}},
      {"#! --af 6\n#! --call-cost 1\n", {{"--af", "6"}}},
      {"# options: --af 6\n", {}},
      {"netns red\n#! --af 6\n", {}},
      {"", {}},
  };
  for (auto const& c : cases) EXPECT_EQ(ScriptOptions::header(c.script), c.given) << c.script;
}

TEST(ScriptOptions, HeaderRefusals) {
  struct Case {
    std::string script;
    std::string reason;
  };
  Case const cases[] = {
      {"#! --help\n", "--help and --version have no place in a script"},
      {"#! --af 6 file.kmfib\n", "unexpected 'file.kmfib'"},
      {"#! --frob\n", "unknown option '--frob' (--af, --trace, --call-cost, --kernel, --config, --control, --help, --version)"},
      {"#! --af\n", "--af needs a value (4|6)"},
  };
  for (auto const& c : cases) {
    try {
      ScriptOptions::header(c.script);
      ADD_FAILURE() << "accepted: " << c.script;
    } catch (Cli::UsageError const& e) {
      EXPECT_EQ(std::string(e.what()), c.reason);
    }
  }
}

TEST(ScriptOptions, ValuesAreChecked) {
  ScriptOptions o;
  o.set({{"--af", "6"}, {"--call-cost", "0.25"}, {"--trace", "KernelMfibSm/2"}});
  EXPECT_EQ(o.host().af, Plix::AddressFamily::ipv6);
  EXPECT_DOUBLE_EQ(o.host().callCost, 0.25);
  EXPECT_EQ(o.trace(), "KernelMfibSm/2");
  o.set("--call-cost", "1000000");
  EXPECT_DOUBLE_EQ(o.host().callCost, 1e6) << "the bound itself is allowed";
  for (char const* bad : {"", ".", "+1", "1e3", "inf", "nan", "0x10", " 1", "1 ", "-0", "1000000.01"}) {
    ScriptOptions before = o;
    EXPECT_THROW(o.set("--call-cost", bad), Cli::UsageError) << bad;
    EXPECT_DOUBLE_EQ(o.host().callCost, before.host().callCost) << "a refused value changes nothing";
  }
}

}  // namespace
