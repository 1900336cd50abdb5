#pragma once
// Runs a built program of tools/ as a user would, in a given folder, and collects its exit
// status, standard output and standard error.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace TestSupport {

struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string readWhole(std::filesystem::path const& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs in `dir`; `env` is prepended to the command ("NAME=VALUE ..."); TRACE and VORLAKDIR
// (and VORLAK_DISABLE) start unset.
inline ProgramResult runProgram(std::filesystem::path const& dir, std::string const& tool,
                                std::vector<std::string> const& args, std::string const& env = "") {
  auto quoted = [](std::string const& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string cmd = "cd " + quoted(dir.string()) + " && env -u TRACE -u VORLAKDIR -u VORLAK_DISABLE " + env + " " +
                    quoted(std::string(KMFIB_BINARY_DIR) + "/tools/" + tool);
  for (auto const& a : args) cmd += " " + quoted(a);
  TempDir const output;
  cmd += " >" + quoted(output.file("out")) + " 2>" + quoted(output.file("err"));
  ProgramResult r;
  int const raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readWhole(output.file("out"));
  r.err = readWhole(output.file("err"));
  return r;
}

}  // namespace TestSupport
