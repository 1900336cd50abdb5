// kmfibd: hosts the kernel multicast FIB agent on its own platform. `kmfibd script` runs
// statement files on the virtual clock and the simulated kernel; `kmfibd run` is the daemon.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "tools/kmfibd/ScriptFile.h"
#include "tools/kmfibd/ScriptOptions.h"
#include "tools/kmfibd/RunCommand.h"
#include "tools/kmfibd/ScriptRunner.h"
#include "trace/Registry.h"

namespace {

using Kmfibd::ScriptFile;
using Kmfibd::ScriptOptions;

int fail(std::string const& message) {
  std::cerr << "error: " << message << "\n";
  return 2;
}

// Why the folder VORLAKDIR names cannot take a binary trace; none when it can or is unset.
std::optional<std::string> vorlakDirProblem() {
  char const* dir = std::getenv("VORLAKDIR");
  if (!dir) return std::nullopt;
  std::string const what = std::string("VORLAKDIR ") + Cli::quoted(dir) + ": ";
  struct stat st {};
  if (::stat(dir, &st) != 0) return what + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return what + "not a directory";
  if (::access(dir, W_OK | X_OK) != 0) return what + std::strerror(errno);
  return std::nullopt;
}

// Options come from the files' "#!" lines, then TRACE, then the command line, each later
// one winning; two files whose lines disagree are refused.
std::optional<int> collectOptions(Cli::Arguments const& args, std::vector<ScriptFile> const& files,
                                  ScriptOptions& options) {
  std::map<std::string, std::pair<std::string, std::string>> fromFiles;  // option -> value, file
  for (auto const& file : files) {
    try {
      auto const given = ScriptOptions::header(file.firstLine);
      for (auto const& [option, value] : given) {
        auto [it, fresh] = fromFiles.try_emplace(option, value, file.name);
        if (!fresh && it->second.first != value) {
          throw Cli::UsageError(option + " " + value + " differs from " + option + " " + it->second.first + " of " +
                                it->second.second);
        }
      }
      options.set(given);
    } catch (Cli::UsageError const& e) {
      return fail(file.name + ":1: " + e.what());
    }
  }
  char const* env = std::getenv("TRACE");
  if (env && !args.last("--trace")) {
    try {
      options.set("--trace", env);
    } catch (Cli::UsageError const& e) {
      return fail(std::string("TRACE: ") + e.what());
    }
  }
  options.set(args.options);  // checked before the files were read
  return std::nullopt;
}

int script(Cli::Arguments const& args) {
  if (args.operands.empty()) return ScriptOptions::program().refuse(std::cerr, "script needs a FILE");
  try {
    ScriptOptions().set(args.options);  // a wrong option is told before any file is read
  } catch (Cli::UsageError const& e) {
    return ScriptOptions::program().refuse(std::cerr, e.what());
  }
  std::vector<ScriptFile> files;
  try {
    for (auto const& path : args.operands) files.push_back(ScriptFile::read(path));
  } catch (ScriptFile::Error const& e) {
    return fail(e.what());
  }
  ScriptOptions options;
  if (auto status = collectOptions(args, files, options)) return *status;
  if (auto problem = vorlakDirProblem()) return fail(*problem);
  Trace::selectionIs(options.trace().value_or(""));
  // A script is a what-if: its binary trace is kept only where the user asks for one.
  if (!std::getenv("VORLAKDIR")) setenv("VORLAK_DISABLE", "1", 0);
  Kmfibd::Host host(options.host());
  return Kmfibd::ScriptRunner(host, std::cout, std::cerr).runFiles(files);
}

// The daemon checks its own options; they reach it as they were given.
int run(Cli::Arguments const& args) {
  if (!args.operands.empty()) {
    return ScriptOptions::program().refuse(std::cerr, "run takes no operand, not " + Cli::quoted(args.operands.front()));
  }
  std::vector<std::string> words;
  for (auto const& [option, value] : args.options) {
    words.push_back(option);
    words.push_back(value);
  }
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  return Kmfibd::runCommand(static_cast<int>(argv.size()), argv.data());
}

// A subcommand is a name in ScriptOptions::program() and a handler here.
struct Handler {
  char const* name;
  int (*run)(Cli::Arguments const&);
};
constexpr Handler handlers[] = {{"script", script}, {"run", run}};

}  // namespace

int main(int argc, char** argv) {
  auto const& program = ScriptOptions::program();
  Cli::Arguments parsed;
  if (auto status = program.start(argc, argv, parsed, std::cout, std::cerr)) return *status;
  for (auto const& h : handlers) {
    if (parsed.subcommand == h.name) return h.run(parsed);
  }
  return program.refuse(std::cerr, "missing subcommand");
}
