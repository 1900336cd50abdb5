// The programs as a user runs them: help and version on standard output with status 0, a
// wrong argument told with the usage line and status 2, files and folders that cannot be
// used refused with the system's reason, options from a script's "#!" line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class ProgramTest : public testing::Test {
 protected:
  TestSupport::ProgramResult run(std::string const& tool, std::vector<std::string> const& args,
                                 std::string const& env = "") {
    return TestSupport::runProgram(dir.path(), tool, args, env);
  }
  void write(std::string const& name, std::string const& text) { std::ofstream(dir.file(name)) << text; }

  TestSupport::TempDir dir;
};

TEST_F(ProgramTest, HelpAndVersion) {
  for (std::string tool : {"kmfibd", "vorlakdump"}) {
    for (auto const& args : {std::vector<std::string>{"--help"}, std::vector<std::string>{"-h"}}) {
      auto r = run(tool, args);
      EXPECT_EQ(r.status, 0) << tool;
      EXPECT_TRUE(r.out.starts_with("usage: " + tool)) << r.out;
      EXPECT_NE(r.out.find("Example:\n  "), std::string::npos) << r.out;
      EXPECT_EQ(r.err, "");
    }
    auto v = run(tool, {"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, tool + " (kmfib) 0.1\n");
  }
  auto const help = run("kmfibd", {"script", "--help"}).out;
  for (char const* word : {"script FILE...", "--af 4|6", "--trace SELECTION", "--call-cost SECONDS", "--version"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

TEST_F(ProgramTest, WrongArgumentsShowTheUsageAndExit2) {
  std::string const usage =
      "usage: kmfibd script FILE... [--af 4|6] [--trace SELECTION] [--call-cost SECONDS]\n"
      "       kmfibd run [--af 4|6] [--trace SELECTION] [--kernel sim|platform] [--config FILE] [--control PATH]\n"
      "Try 'kmfibd --help' for more.\n";
  write("a.kmfib", "show kernel\n");
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  Case const cases[] = {
      {{}, "missing subcommand"},
      {{"frob"}, "unknown subcommand 'frob' (script, run)"},
      {{"script", "a.kmfib", "--kernel", "sim"}, "--kernel is an option of run, not of script"},
      {{"run", "--call-cost", "1"}, "--call-cost is an option of script, not of run"},
      {{"script"}, "script needs a FILE"},
      {{"script", "a.kmfib", "--af", "5"}, "--af '5': the address family is 4 (IPv4) or 6 (IPv6)"},
      {{"script", "a.kmfib", "--bogus"}, "unknown option '--bogus' (--af, --trace, --call-cost, --kernel, --config, --control, --help, --version)"},
      {{"script", "a.kmfib", "--call-cost"}, "--call-cost needs a value (SECONDS)"},
      {{"script", "a.kmfib", "--call-cost", "inf"}, "--call-cost 'inf' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", "nan"}, "--call-cost 'nan' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", "0x10"}, "--call-cost '0x10' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", " 1"}, "--call-cost ' 1' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", "-1"}, "--call-cost '-1' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", "1e3"}, "--call-cost '1e3' is not a decimal number of seconds such as 0.5"},
      {{"script", "a.kmfib", "--call-cost", "1000001"}, "--call-cost '1000001' is more than 1000000 seconds"},
      {{"script", "a.kmfib", "--trace", "Nosuch/3"},
       "--trace: unknown trace 'Nosuch' (KernelMfibAgent, KernelMfibSm, MfibDirSm, MrtIcmpV6RelaySm, NetNsIntfStatusManager, "
       "NetNsIntfStatusManagerRoot, VifMrouteSyncSm)"},
  };
  for (auto const& c : cases) {
    auto r = run("kmfibd", c.args);
    EXPECT_EQ(r.status, 2) << c.reason;
    EXPECT_EQ(r.err, "kmfibd: " + c.reason + "\n" + usage);
    EXPECT_EQ(r.out, "");
  }
  auto r = run("vorlakdump", {});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlakdump: vorlakdump reads exactly one FILE\nusage: vorlakdump FILE\nTry 'vorlakdump --help' for more.\n");
}

TEST_F(ProgramTest, FilesAndFoldersThatCannotBeUsed) {
  write("a.kmfib", "show kernel default\n");
  fs::create_directory(dir.path() / "sub");
  fs::create_directory(dir.path() / "locked");
  fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  bool const root = ::geteuid() == 0;  // root writes anywhere
  struct Case {
    std::vector<std::string> args;
    std::string env;
    std::string err;
  };
  std::vector<Case> cases = {
      {{"script", "missing.kmfib"}, "", "error: missing.kmfib: No such file or directory\n"},
      {{"script", "sub"}, "", "error: sub: is a directory, not a statement file\n"},
      {{"script", "a.kmfib"}, "VORLAKDIR=nowhere", "error: VORLAKDIR 'nowhere': No such file or directory\n"},
      {{"script", "a.kmfib"}, "VORLAKDIR=a.kmfib", "error: VORLAKDIR 'a.kmfib': not a directory\n"},
      {{"script", "a.kmfib"}, "TRACE=Nosuch", "error: TRACE: --trace: unknown trace 'Nosuch' (KernelMfibAgent, "
                                              "KernelMfibSm, MfibDirSm, MrtIcmpV6RelaySm, NetNsIntfStatusManager, "
                                              "NetNsIntfStatusManagerRoot, VifMrouteSyncSm)\n"},
  };
  if (!root) cases.push_back({{"script", "a.kmfib"}, "VORLAKDIR=locked", "error: VORLAKDIR 'locked': Permission denied\n"});
  for (auto const& c : cases) {
    auto r = run("kmfibd", c.args, c.env);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  auto traced = run("kmfibd", {"script", "a.kmfib", "--trace", "KernelMfibSm/9"}, "TRACE=Nosuch");
  EXPECT_EQ(traced.status, 0) << "--trace wins over TRACE, which is then not read: " << traced.err;
  auto ok = run("kmfibd", {"script", "a.kmfib"}, "VORLAKDIR=sub");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_TRUE(fs::exists(dir.path() / "sub" / "KernelMfib.vk")) << "the binary trace is kept where VORLAKDIR says";
}

TEST_F(ProgramTest, ScriptHeaderOptions) {
  write("v6.kmfib", "#! --af 6\nroute default t ff3e::1 ff3e::2\n");
  write("v4.kmfib", "#! --af 4\nshow kernel default\n");
  write("bad.kmfib", "#! --af 5\nshow kernel default\n");
  auto r = run("kmfibd", {"script", "v6.kmfib"});
  EXPECT_EQ(r.status, 2) << "the route is refused: no table t, but the addresses are IPv6";
  EXPECT_EQ(r.err, "error: v6.kmfib:2: no table t in VRF default\n");
  r = run("kmfibd", {"script", "v6.kmfib", "--af", "4"});
  EXPECT_EQ(r.err, "error: v6.kmfib:2: source ff3e::1 is not an IPv4 prefix\n") << "the command line wins";
  r = run("kmfibd", {"script", "bad.kmfib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "error: bad.kmfib:1: --af '5': the address family is 4 (IPv4) or 6 (IPv6)\n");
  r = run("kmfibd", {"script", "v4.kmfib", "v6.kmfib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "error: v6.kmfib:1: --af 6 differs from --af 4 of v4.kmfib\n");
}

TEST_F(ProgramTest, ARefusedStatementStopsTheScriptWithStatus2) {
  struct Case {
    std::string statement;
    std::string error;
  };
  Case const cases[] = {
      {"show routes", "unknown show 'routes' (kernel, status, machines, mroute)"},
      {"show status blue", "no VRF blue"},
      {"show kernel nsX", "no namespace nsX"},
      {"table default a/b", "table 'a/b': a name cannot hold '/'"},
      {"route default t 10.0.0.0/8 239.1.1.1", "source 10.0.0.0/8 is a prefix: a source is one host address or *"},
      {"route default t 10.0.0.1 10.1.1.1", "group 10.1.1.1 is not IPv4 multicast (224.0.0.0/4)"},
      {"advance 1e8", "advance '1e8' is not a decimal number of seconds such as 0.5"},
      {"advance 100000000", "advance '100000000' is more than 1000000 seconds"},
  };
  for (auto const& c : cases) {
    write("s.kmfib", "table default t\n" + c.statement + "\nshow machines\n");
    auto r = run("kmfibd", {"script", "s.kmfib"});
    EXPECT_EQ(r.status, 2) << c.statement;
    EXPECT_EQ(r.err, "error: s.kmfib:2: " + c.error + "\n");
    EXPECT_EQ(r.out, "") << "nothing after the refused statement runs";
  }
}

}  // namespace
