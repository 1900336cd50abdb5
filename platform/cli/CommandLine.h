#pragma once
// The command line of a kmfib program: its subcommands and options, `--help` (on standard
// output, exit 0) and `--version`, and the refusal of a wrong argument (a short reason,
// the usage line, exit 2). Options may stand before or after the subcommand; `--opt VALUE`
// and `--opt=VALUE` are the same; after `--` every argument is an operand. Each program
// describes itself once in a Program and shares the parsing and the texts.

#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Cli {

// A wrong argument; its text is the reason, without the usage line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Arguments;

// The length of the well-formed UTF-8 sequence that starts `text`; 0 when there is none
// (a stray continuation byte, an overlong form, a surrogate, a code point past U+10FFFF).
std::size_t utf8SequenceLength(std::string_view text);
bool isUtf8(std::string_view text);

struct Program {
  struct Subcommand {
    std::string name;
    std::string operands;  // e.g. "FILE..."
    std::string help;
  };
  struct Option {
    std::string name;   // "--af"
    std::string value;  // "4|6"; empty for a flag
    std::string help;
    std::string subcommand;  // the one subcommand it belongs to; empty: all of them
  };

  std::string name;
  std::string operands;  // of a program without subcommands, e.g. "FILE"
  std::string summary;
  std::vector<Subcommand> subcommands;  // empty: the program has none
  std::vector<Option> options;          // --help and --version are implied
  std::string example;

  Subcommand const* subcommand(std::string_view word) const;
  Option const* option(std::string_view word) const;

  std::string usage() const;  // "usage: NAME ..." lines, without --help and --version
  void printHelp(std::ostream& os) const;
  void printVersion(std::ostream& os) const;
  // Writes "NAME: REASON", the usage and a pointer to --help; returns the exit status 2.
  int refuse(std::ostream& err, std::string_view reason) const;

  // A program's start: parses main's arguments into `parsed`. When they ask for the help or
  // the version, or are wrong, answers on `out` or `err` and returns the exit status to leave
  // with; otherwise none.
  std::optional<int> start(int argc, char const* const* argv, Arguments& parsed, std::ostream& out,
                           std::ostream& err) const;
};

struct Arguments {
  bool help = false;
  bool version = false;
  std::string subcommand;
  std::vector<std::pair<std::string, std::string>> options;  // in the order given
  std::vector<std::string> operands;

  // The last value given for an option.
  std::optional<std::string> last(std::string_view option) const;
};

// Throws UsageError for an unknown subcommand or option or an option without its value.
Arguments parse(Program const& program, std::span<char const* const> args);

// At most a short excerpt of `text` between quotes, control bytes and quotes escaped, so that
// a message never carries a whole file or a terminal escape.
std::string quoted(std::string_view text);

// The version the programs report.
std::string_view version();

}  // namespace Cli
