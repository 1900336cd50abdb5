#pragma once
// The options of a kmfibd script run, from the command line or from a script's first line
// ("#! --af 6 --call-cost 0.01"), checked by the same code wherever they come from, so a
// scenario file runs by itself exactly as the test suite runs it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/CommandLine.h"
#include "tools/kmfibd/Host.h"

namespace Kmfibd {

class ScriptOptions {
 public:
  using Given = std::vector<std::pair<std::string, std::string>>;

  // `advance` and `--call-cost` refuse more than this many seconds.
  static constexpr double maxSeconds = 1e6;

  // kmfibd's command line: its subcommands and options.
  static Cli::Program const& program();

  // The options of a script's "#!" first line; none without one. Throws Cli::UsageError.
  static Given header(std::string_view script);

  // Sets one option (`--af`, `--call-cost`, `--trace`); throws Cli::UsageError saying what is
  // wrong with the value.
  void set(std::string_view option, std::string_view value);
  void set(Given const& given);

  Host::Options const& host() const { return host_; }
  std::optional<std::string> const& trace() const { return trace_; }

 private:
  Host::Options host_;
  std::optional<std::string> trace_;
};

// A decimal number of seconds, digits with an optional fraction: no sign, exponent, hex,
// infinity or white space. Throws std::invalid_argument with the reason.
double parseSeconds(std::string_view text, double max);

}  // namespace Kmfibd
