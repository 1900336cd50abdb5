#include "cli/CommandLine.h"

#include <algorithm>
#include <cstdio>

#ifndef KMFIB_VERSION
#define KMFIB_VERSION "unknown"
#endif

namespace Cli {

namespace {

constexpr std::size_t excerptLength = 40;

std::string joinNames(std::vector<std::string> const& names) {
  std::string text;
  for (auto const& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

}  // namespace

std::string_view version() { return KMFIB_VERSION; }

std::size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  auto const lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The range the second byte must fall in shuts out overlong forms, surrogates and code
  // points past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  auto const second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    auto const c = static_cast<unsigned char>(text[i]);
    if (c < 0x80 || c > 0xbf) return 0;
  }
  return length;
}

bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t const length = utf8SequenceLength(text.substr(i));
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string quoted(std::string_view text) {
  std::string out = "'";
  std::size_t const shown = std::min(text.size(), excerptLength);
  for (std::size_t i = 0; i < shown; ++i) {
    auto const c = static_cast<unsigned char>(text[i]);
    if (std::size_t const length = c < 0x80 ? 0 : utf8SequenceLength(text.substr(i)); length > 1) {
      out += text.substr(i, length);
      i += length - 1;
    } else if (c == '\'' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (shown < text.size()) out += "...";
  return out + "'";
}

Program::Subcommand const* Program::subcommand(std::string_view word) const {
  auto it = std::find_if(subcommands.begin(), subcommands.end(), [&](auto const& s) { return s.name == word; });
  return it == subcommands.end() ? nullptr : &*it;
}

Program::Option const* Program::option(std::string_view word) const {
  auto it = std::find_if(options.begin(), options.end(), [&](auto const& o) { return o.name == word; });
  return it == options.end() ? nullptr : &*it;
}

std::string Program::usage() const {
  auto opts = [this](std::string const& subcommand) {
    std::string text;
    for (auto const& o : options) {
      if (!o.subcommand.empty() && o.subcommand != subcommand) continue;
      text += " [" + o.name + (o.value.empty() ? "" : " " + o.value) + "]";
    }
    return text;
  };
  if (subcommands.empty()) return "usage: " + name + (operands.empty() ? "" : " " + operands) + opts("") + "\n";
  std::string text;
  for (auto const& s : subcommands) {
    text += (text.empty() ? "usage: " : "       ") + name + " " + s.name + (s.operands.empty() ? "" : " " + s.operands) +
            opts(s.name) + "\n";
  }
  return text;
}

void Program::printHelp(std::ostream& os) const {
  auto line = [&os](std::string const& head, std::string const& help) {
    os << "  " << head << std::string(head.size() < 22 ? 22 - head.size() : 1, ' ') << help << "\n";
  };
  os << usage() << "\n" << summary << "\n";
  if (!subcommands.empty()) {
    os << "\nSubcommands:\n";
    for (auto const& s : subcommands) line(s.name + (s.operands.empty() ? "" : " " + s.operands), s.help);
  }
  os << "\nOptions" << (subcommands.empty() ? "" : " (before or after the subcommand)") << ":\n";
  for (auto const& o : options) line(o.name + (o.value.empty() ? "" : " " + o.value), o.help);
  line("--help", "print this help and exit");
  line("--version", "print the version and exit");
  if (!example.empty()) os << "\nExample:\n  " << example << "\n";
}

void Program::printVersion(std::ostream& os) const { os << name << " (kmfib) " << version() << "\n"; }

int Program::refuse(std::ostream& err, std::string_view reason) const {
  err << name << ": " << reason << "\n" << usage() << "Try '" << name << " --help' for more.\n";
  return 2;
}

std::optional<int> Program::start(int argc, char const* const* argv, Arguments& parsed, std::ostream& out,
                                  std::ostream& err) const {
  std::span<char const* const> args(argv, static_cast<std::size_t>(argc));
  try {
    parsed = parse(*this, args.subspan(argc > 0 ? 1 : 0));
  } catch (UsageError const& e) {
    return refuse(err, e.what());
  }
  if (parsed.help) {
    printHelp(out);
    return 0;
  }
  if (parsed.version) {
    printVersion(out);
    return 0;
  }
  return std::nullopt;
}

std::optional<std::string> Arguments::last(std::string_view option) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->first == option) return it->second;
  }
  return std::nullopt;
}

namespace {

Arguments parseAll(Program const& program, std::span<char const* const> args) {
  Arguments parsed;
  bool operandsOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view const arg = args[i] ? args[i] : "";
    if (operandsOnly || !arg.starts_with("-") || arg == "-") {
      if (!program.subcommands.empty() && parsed.subcommand.empty()) {
        if (!program.subcommand(arg)) {
          std::vector<std::string> names;
          for (auto const& s : program.subcommands) names.push_back(s.name);
          throw UsageError("unknown subcommand " + quoted(arg) + " (" + joinNames(names) + ")");
        }
        parsed.subcommand = arg;
        continue;
      }
      parsed.operands.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      operandsOnly = true;
      continue;
    }
    auto const eq = arg.find('=');
    std::string_view const name = arg.substr(0, eq);
    auto const* option = program.option(name);
    if (!option) {
      std::vector<std::string> names;
      for (auto const& o : program.options) names.push_back(o.name);
      names.emplace_back("--help");
      names.emplace_back("--version");
      throw UsageError("unknown option " + quoted(name) + " (" + joinNames(names) + ")");
    }
    if (option->value.empty()) {
      if (eq != std::string_view::npos) throw UsageError(std::string(name) + " takes no value");
      parsed.options.emplace_back(name, "");
      continue;
    }
    if (eq != std::string_view::npos) {
      parsed.options.emplace_back(name, arg.substr(eq + 1));
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value (" + option->value + ")");
    parsed.options.emplace_back(name, args[++i]);
  }
  return parsed;
}

}  // namespace

Arguments parse(Program const& program, std::span<char const* const> args) {
  // --help and --version win over any other mistake on the line.
  for (char const* a : args) {
    std::string_view const arg = a ? a : "";
    if (arg == "--") break;
    Arguments only;
    if (arg == "--help" || arg == "-h") only.help = true;
    if (arg == "--version") only.version = true;
    if (only.help || only.version) return only;
  }
  Arguments parsed = parseAll(program, args);
  for (auto const& [name, value] : parsed.options) {
    auto const* option = program.option(name);
    if (option->subcommand.empty() || parsed.subcommand.empty() || option->subcommand == parsed.subcommand) continue;
    throw UsageError(name + " is an option of " + option->subcommand + ", not of " + parsed.subcommand);
  }
  return parsed;
}

}  // namespace Cli
