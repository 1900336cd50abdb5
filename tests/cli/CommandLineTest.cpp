// The shared command line: options before or after the subcommand, both value forms, the
// refusals a user reads, and the excerpts that quote what a user typed.

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace {

Cli::Program const program{
    .name = "prog",
    .operands = "",
    .summary = "Does things.",
    .subcommands = {{"script", "FILE...", "runs files"}, {"run", "", "runs forever"}},
    .options = {{"--af", "4|6", "family", ""}, {"--json", "", "as JSON", ""}, {"--port", "N", "listens on N", "run"}},
    .example = "prog script a.kmfib",
};

Cli::Arguments parse(std::vector<char const*> args) { return Cli::parse(program, args); }

std::string refusal(std::vector<char const*> args) {
  try {
    parse(args);
  } catch (Cli::UsageError const& e) {
    return e.what();
  }
  return "accepted";
}

TEST(CommandLine, OptionsBeforeOrAfterTheSubcommand) {
  for (auto const& args : {std::vector<char const*>{"--af", "6", "script", "a", "--json"},
                           std::vector<char const*>{"script", "a", "--af=6", "--json"},
                           std::vector<char const*>{"--json", "script", "--af", "6", "a"}}) {
    auto const a = parse(args);
    EXPECT_EQ(a.subcommand, "script");
    EXPECT_EQ(a.operands, std::vector<std::string>{"a"});
    EXPECT_EQ(a.last("--af"), "6");
    EXPECT_EQ(a.last("--json"), "");
    EXPECT_FALSE(a.last("--trace"));
  }
  auto const dashes = parse({"script", "--", "--af"});
  EXPECT_EQ(dashes.operands, std::vector<std::string>{"--af"}) << "after -- every argument is an operand";
  EXPECT_EQ(parse({"script", "--af", "4", "--af", "6"}).last("--af"), "6");
}

TEST(CommandLine, HelpAndVersionWinOverMistakes) {
  EXPECT_TRUE(parse({"frob", "--bogus", "--help"}).help);
  EXPECT_TRUE(parse({"-h"}).help);
  EXPECT_TRUE(parse({"script", "--version"}).version);
  EXPECT_FALSE(parse({"script", "--", "--help"}).help);
}

TEST(CommandLine, Refusals) {
  struct Case {
    std::vector<char const*> args;
    char const* reason;
  };
  Case const cases[] = {
      {{"frob"}, "unknown subcommand 'frob' (script, run)"},
      {{"script", "--bogus"}, "unknown option '--bogus' (--af, --json, --port, --help, --version)"},
      {{"script", "a", "--port", "1"}, "--port is an option of run, not of script"},
      {{"script", "--af"}, "--af needs a value (4|6)"},
      {{"script", "--json=1"}, "--json takes no value"},
  };
  for (auto const& c : cases) EXPECT_EQ(refusal(c.args), c.reason);
}

TEST(CommandLine, HelpListsSubcommandsOptionsAndAnExample) {
  std::ostringstream help;
  program.printHelp(help);
  EXPECT_EQ(help.str(),
            "usage: prog script FILE... [--af 4|6] [--json]\n"
            "       prog run [--af 4|6] [--json] [--port N]\n"
            "\n"
            "Does things.\n"
            "\n"
            "Subcommands:\n"
            "  script FILE...        runs files\n"
            "  run                   runs forever\n"
            "\n"
            "Options (before or after the subcommand):\n"
            "  --af 4|6              family\n"
            "  --json                as JSON\n"
            "  --port N              listens on N\n"
            "  --help                print this help and exit\n"
            "  --version             print the version and exit\n"
            "\n"
            "Example:\n"
            "  prog script a.kmfib\n");
  std::ostringstream err;
  EXPECT_EQ(program.refuse(err, "missing subcommand"), 2);
  EXPECT_EQ(err.str(),
            "prog: missing subcommand\n"
            "usage: prog script FILE... [--af 4|6] [--json]\n"
            "       prog run [--af 4|6] [--json] [--port N]\n"
            "Try 'prog --help' for more.\n");
}

TEST(CommandLine, QuotedIsAShortEscapedExcerpt) {
  EXPECT_EQ(Cli::quoted("abc"), "'abc'");
  EXPECT_EQ(Cli::quoted("a'b\\c"), "'a\\'b\\\\c'");
  EXPECT_EQ(Cli::quoted(std::string("\x1b[2J\n\t\x7f", 7)), "'\\x1b[2J\\x0a\\x09\\x7f'");
  EXPECT_EQ(Cli::quoted(std::string(100, 'x')), "'" + std::string(40, 'x') + "...'");
  EXPECT_EQ(Cli::quoted(""), "''");
  // UTF-8 stands as it is; bytes that are not UTF-8 are escaped, so a message stays text.
  EXPECT_EQ(Cli::quoted("caf\xc3\xa9"), "'caf\xc3\xa9'");
  EXPECT_EQ(Cli::quoted("a\xff\xc3\x28"), "'a\\xff\\xc3('");
}

TEST(CommandLine, Utf8IsCheckedSequenceBySequence) {
  struct Case {
    char const* name;
    std::string text;
    bool utf8;
  };
  for (auto const& c : std::vector<Case>{
           {"ascii", "show kernel", true},
           {"empty", "", true},
           {"two bytes", "\xc3\xa9", true},
           {"three bytes", "\xe2\x82\xac", true},
           {"four bytes, the last code point", "\xf4\x8f\xbf\xbf", true},
           {"NUL is a code point", std::string(1, '\0'), true},
           {"stray continuation", "\x80", false},
           {"lead byte never used", "\xff", false},
           {"lead without its continuation", "\xc3\x28", false},
           {"cut short at the end", "\xe2\x82", false},
           {"overlong slash", "\xc0\xaf", false},
           {"overlong three-byte form", "\xe0\x80\xaf", false},
           {"surrogate", "\xed\xa0\x80", false},
           {"past U+10FFFF", "\xf4\x90\x80\x80", false},
       }) {
    EXPECT_EQ(Cli::isUtf8(c.text), c.utf8) << c.name;
  }
  EXPECT_EQ(Cli::utf8SequenceLength("\xe2\x82\xacx"), 3u);
  EXPECT_EQ(Cli::utf8SequenceLength(""), 0u);
}

TEST(CommandLine, StartAnswersHelpVersionAndMistakes) {
  struct Case {
    std::vector<char const*> argv;
    std::optional<int> status;
    bool saysOnOut;
  };
  Case const cases[] = {
      {{"prog", "--help"}, 0, true},
      {{"prog", "script", "--version"}, 0, true},
      {{"prog", "--bogus"}, 2, false},
      {{"prog", "script", "a"}, std::nullopt, false},
  };
  for (auto const& c : cases) {
    std::ostringstream out, err;
    Cli::Arguments parsed;
    auto const status = program.start(static_cast<int>(c.argv.size()), c.argv.data(), parsed, out, err);
    EXPECT_EQ(status, c.status) << c.argv[1];
    EXPECT_EQ(!out.str().empty(), c.saysOnOut) << c.argv[1];
    EXPECT_EQ(!err.str().empty(), status == 2) << c.argv[1];
  }
}

}  // namespace
