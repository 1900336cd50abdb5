#include "tools/kmfibd/ScriptOptions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "trace/Registry.h"

namespace Kmfibd {

namespace {

std::string secondsText(double v) {
  std::ostringstream os;
  os << std::setprecision(15) << v;
  return os.str();
}

}  // namespace

double parseSeconds(std::string_view text, double max) {
  bool digits = false;
  bool point = false;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      digits = false;
      break;
    }
  }
  if (!digits) throw std::invalid_argument(Cli::quoted(text) + " is not a decimal number of seconds such as 0.5");
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (!std::isfinite(v) || v > max) {
    throw std::invalid_argument(Cli::quoted(text) + " is more than " + secondsText(max) + " seconds");
  }
  return v;
}

Cli::Program const& ScriptOptions::program() {
  static Cli::Program const p{
      .name = "kmfibd",
      .operands = "",
      .summary = "Hosts the kernel multicast FIB agent on its own platform. A script runs statement files\n"
                 "(docs/statements.md) on a virtual clock and the simulated kernel and prints what their\n"
                 "`show` statements show. A script's first line may carry these options: \"#! --af 6\".",
      .subcommands = {{"script", "FILE...", "run statement files on the virtual clock"},
                      {"run", "", "run the agent as a daemon on the real clock; SIGTERM stops it, SIGHUP re-reads --config"}},
      .options = {{"--af", "4|6", "address family of the agent (default 4)", ""},
                  {"--trace", "SELECTION", "text traces to standard error, e.g. KernelMfibSm/0-9,KernelMfibAgent/3", ""},
                  {"--call-cost", "SECONDS", "script: virtual time each kernel call takes (default 0)", "script"},
                  {"--kernel", "sim|platform", "run: the kernel backend (default sim, the simulated kernel)", "run"},
                  {"--config", "FILE", "run: statements applied at start and again on SIGHUP", "run"},
                  {"--control", "PATH", "run: the control socket (default /run/kmfibd.sock)", "run"}},
      .example = "kmfibd script examples/quickstart.kmfib --trace KernelMfibSm/2-5",
  };
  return p;
}

ScriptOptions::Given ScriptOptions::header(std::string_view script) {
  if (!script.starts_with("#!")) return {};
  std::string_view const line = script.substr(0, script.find('\n')).substr(2);
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<char const*> args;
  for (auto const& w : words) args.push_back(w.c_str());
  Cli::Program options = program();
  options.subcommands.clear();
  auto parsed = Cli::parse(options, args);
  if (parsed.help || parsed.version) throw Cli::UsageError("--help and --version have no place in a script");
  if (!parsed.operands.empty()) throw Cli::UsageError("unexpected " + Cli::quoted(parsed.operands.front()));
  return parsed.options;
}

void ScriptOptions::set(std::string_view option, std::string_view value) {
  if (option == "--af") {
    if (value != "4" && value != "6") {
      throw Cli::UsageError("--af " + Cli::quoted(value) + ": the address family is 4 (IPv4) or 6 (IPv6)");
    }
    host_.af = value == "6" ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
    return;
  }
  if (option == "--call-cost") {
    try {
      host_.callCost = parseSeconds(value, maxSeconds);
    } catch (std::invalid_argument const& e) {
      throw Cli::UsageError("--call-cost " + std::string(e.what()));
    }
    return;
  }
  if (option == "--trace") {
    try {
      Trace::checkKnownNames(Trace::Selection::parse(value));
    } catch (std::invalid_argument const& e) {
      throw Cli::UsageError(std::string("--trace: ") + e.what());
    }
    trace_ = std::string(value);
    return;
  }
  throw Cli::UsageError(Cli::quoted(option) + " is not an option of a script");
}

void ScriptOptions::set(Given const& given) {
  for (auto const& [option, value] : given) set(option, value);
}

}  // namespace Kmfibd
