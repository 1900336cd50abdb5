#include "tools/kmfibd/StatementParser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "halm/Route.h"
#include "kernel/ErrnoName.h"
#include "cli/CommandLine.h"
#include "kernel/CallKind.h"
#include "plix/IpGenPrefix.h"
#include "tools/kmfibd/ScriptOptions.h"

namespace Kmfibd {

namespace {

using Kind = Statement::Kind;

class Tokens {
 public:
  explicit Tokens(std::string_view line) {
    auto hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      std::size_t start = i;
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      if (i == start) continue;
      auto const token = line.substr(start, i - start);
      // Names end up in messages and traces; a control byte there could rewrite a terminal.
      if (std::any_of(token.begin(), token.end(), [](char c) { return std::iscntrl(static_cast<unsigned char>(c)); })) {
        throw StatementError(Cli::quoted(token) + ": a word cannot hold control bytes");
      }
      // Shown names are printed as they stand, in JSON too, which must stay valid.
      if (!Cli::isUtf8(token)) throw StatementError(Cli::quoted(token) + ": a word must be UTF-8 text");
      tokens_.emplace_back(token);
    }
  }
  bool done() const { return pos_ >= tokens_.size(); }
  std::string_view peek() const { return done() ? std::string_view() : tokens_[pos_]; }
  bool accept(std::string_view word) {
    if (peek() != word || done()) return false;
    ++pos_;
    return true;
  }
  std::string next(std::string_view what) {
    if (done()) throw StatementError("missing " + std::string(what));
    return tokens_[pos_++];
  }
  // `expected`: the words that could have stood here, listed in the refusal.
  void end(std::string_view expected = {}) const {
    if (done()) return;
    throw StatementError("unexpected " + Cli::quoted(tokens_[pos_]) +
                         (expected.empty() ? std::string() : " (" + std::string(expected) + ")"));
  }

 private:
  std::vector<std::string> tokens_;
  std::size_t pos_ = 0;
};

// Names that become part of a state-database path (VRFs, namespaces, tables, applications)
// cannot hold the path separator.
std::string pathName(Tokens& t, std::string_view what) {
  std::string text = t.next(what);
  if (text.find('/') != std::string::npos) {
    throw StatementError(std::string(what) + " " + Cli::quoted(text) + ": a name cannot hold '/'");
  }
  return text;
}

template <class N>
N name(Tokens& t, std::string_view what) {
  std::string text = pathName(t, what);
  try {
    return N(text);
  } catch (std::range_error const& e) {
    throw StatementError(std::string(what) + " " + Cli::quoted(text) + ": " + e.what());
  }
}

std::uint64_t number(Tokens& t, std::string_view what, std::uint64_t min, std::uint64_t max) {
  std::string text = t.next(what);
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && end == text.data() + text.size() && (v < min || v > max))) {
    // Only digits get here: the number needs no quoting.
    throw StatementError(std::string(what) + " " + text + " is out of range " + std::to_string(min) + "-" +
                         std::to_string(max));
  }
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw StatementError(std::string(what) + " " + Cli::quoted(text) + " is not a decimal number");
  }
  return v;
}

Plix::IntfId intf(Tokens& t, std::string_view what) {
  std::string text = t.next(what);
  return Plix::IntfId(text);
}

class Parser {
 public:
  Parser(Plix::AddressFamily af, std::string_view line) : af_(af), t_(line) {}

  std::optional<Statement> run() {
    if (t_.done()) return std::nullopt;
    s_.no = t_.accept("no");
    std::string verb = t_.next("statement");
    if (verb == "netns") return netns();
    if (verb == "link") return link();
    if (verb == "intf") return intfStatement();
    if (verb == "vrf") return vrf();
    if (verb == "config") return config();
    if (verb == "request") return request();
    if (verb == "table") return table();
    if (verb == "route") return route();
    if (verb == "fault") return fault();
    if (!s_.no) {
      if (verb == "advance") return advance();
      if (verb == "restart") return simple(Kind::restart);
      if (verb == "show") return show();
    }
    if (s_.no && (verb == "advance" || verb == "restart" || verb == "show")) {
      throw StatementError(verb + " has no 'no' form");
    }
    throw StatementError("unknown statement " + Cli::quoted(verb) +
                         " (netns, link, intf, vrf, config, request, table, route, advance, restart, fault, show)");
  }

 private:
  Statement done(Kind kind, std::string_view expected = {}) {
    s_.kind = kind;
    t_.end(expected);
    return s_;
  }
  Statement simple(Kind kind) { return done(kind); }

  Statement netns() {
    s_.ns = name<Plix::NamespaceName>(t_, "namespace");
    return done(Kind::netns);
  }
  Statement link() {
    s_.ns = name<Plix::NamespaceName>(t_, "namespace");
    s_.dev = t_.next("device");
    if (!s_.no) s_.ifindex = static_cast<std::uint32_t>(number(t_, "interface index", 1, 0xffffffffu));
    return done(Kind::link);
  }
  Statement intfStatement() {
    s_.intf = intf(t_, "interface");
    if (!s_.no) s_.dev = t_.next("device");
    return done(Kind::intf);
  }
  Statement vrf() {
    s_.vrf = name<L3::VrfName>(t_, "VRF");
    bool const netns = !s_.no && t_.accept("netns");
    if (netns) s_.ns = name<Plix::NamespaceName>(t_, "namespace");
    return done(Kind::vrf, s_.no || netns ? "" : "netns");
  }
  Statement config() {
    s_.vrf = name<L3::VrfName>(t_, "VRF");
    while (!s_.no && !t_.done()) {
      if (t_.accept("max")) {
        s_.max = static_cast<std::uint16_t>(number(t_, "max", 0, 0xffff));
      } else if (t_.accept("unresolved-entries")) {
        s_.unresolvedEntries = static_cast<std::uint32_t>(number(t_, "unresolved-entries", 0, 0xffffffffu));
      } else if (t_.accept("unresolved-buffers")) {
        s_.unresolvedBuffers = static_cast<std::uint32_t>(number(t_, "unresolved-buffers", 0, 0xffffffffu));
      } else if (t_.accept("audit")) {
        s_.audit = static_cast<std::uint32_t>(number(t_, "audit", 0, 0xffffffffu));
      } else {
        break;
      }
    }
    return done(Kind::config, s_.no ? "" : "max, unresolved-entries, unresolved-buffers, audit");
  }
  Statement request() {
    s_.app = pathName(t_, "application");
    if (!s_.no || !t_.done()) {
      s_.vrf = name<L3::VrfName>(t_, "VRF");
      s_.hasVrf = true;
    }
    if (!s_.no || !t_.done()) {
      s_.intf = intf(t_, "interface");
      s_.hasIntf = true;
    }
    if (!s_.no) {
      if (t_.accept("off")) {
        s_.on = false;
      } else {
        t_.accept("on");
      }
    }
    return done(Kind::request, s_.no ? "" : "on, off");
  }
  Statement table() {
    s_.vrf = name<L3::VrfName>(t_, "VRF");
    s_.table = pathName(t_, "table");
    if (!s_.no && t_.accept("preference")) s_.preference = static_cast<std::uint32_t>(number(t_, "preference", 0, 0xffffffffu));
    return done(Kind::table, s_.no || s_.preference ? "" : "preference");
  }
  Plix::IpGenPrefix prefix(std::string_view what, std::string const& text) {
    Plix::IpGenPrefix p;
    try {
      p = Plix::IpGenPrefix::parse(text);
    } catch (std::invalid_argument const& e) {
      throw StatementError(std::string(what) + ": " + e.what());
    }
    if (p.af() != af_) {
      throw StatementError(std::string(what) + " " + text + " is not an " + familyName() + " prefix");
    }
    return p;
  }
  char const* familyName() const { return af_ == Plix::AddressFamily::ipv6 ? "IPv6" : "IPv4"; }
  // A source is one host or `*`; a group is multicast of the agent's family. The kernel keeps
  // one address of each, so anything else would install an entry nobody asked for.
  Routing::Multicast::Fib::IpGenRouteKey routeKey() {
    std::string const sourceText = t_.next("source");
    Plix::IpGenPrefix source(af_, {}, 0);
    if (sourceText != "*") {
      source = prefix("source", sourceText);
      if (source.len() != source.maxLen()) {
        throw StatementError("source " + sourceText + " is a prefix: a source is one host address or *");
      }
    }
    std::string const groupText = t_.next("group");
    auto const group = prefix("group", groupText);
    auto const& first = group.address()[0];
    bool const multicast = af_ == Plix::AddressFamily::ipv6 ? first == 0xff : (first & 0xf0) == 0xe0;
    if (!multicast || group.len() < (af_ == Plix::AddressFamily::ipv6 ? 8 : 4)) {
      throw StatementError("group " + groupText + " is not " + familyName() + " multicast (" +
                           (af_ == Plix::AddressFamily::ipv6 ? "ff00::/8" : "224.0.0.0/4") + ")");
    }
    return Routing::Multicast::Fib::IpGenRouteKey(source, group);
  }
  Statement route() {
    using Halm::Multicast::Fib::Route;
    s_.vrf = name<L3::VrfName>(t_, "VRF");
    s_.table = pathName(t_, "table");
    s_.key = routeKey();
    while (!s_.no && !t_.done()) {
      if (t_.accept("iif")) {
        s_.iif = intf(t_, "iif interface");
      } else if (t_.accept("oif")) {
        std::string list = t_.next("oif interfaces");
        std::size_t start = 0;
        while (start <= list.size()) {
          auto comma = list.find(',', start);
          auto item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
          if (item.empty()) throw StatementError("empty interface in oif list '" + list + "'");
          s_.oifs.emplace_back(item);
          if (comma == std::string::npos) break;
          start = comma + 1;
        }
      } else if (t_.accept("iif-register")) {
        s_.flags |= Route::iifRegister;
      } else if (t_.accept("oif-register")) {
        s_.flags |= Route::oifRegister;
      } else if (t_.accept("switching")) {
        s_.flags |= Route::switchingState;
      } else {
        break;
      }
    }
    return done(Kind::route, s_.no ? "" : "iif, oif, iif-register, oif-register, switching");
  }
  Statement advance() {
    std::string text = t_.next("seconds");
    try {
      s_.seconds = parseSeconds(text, ScriptOptions::maxSeconds);
    } catch (std::invalid_argument const& e) {
      throw StatementError(std::string("advance ") + e.what());
    }
    return done(Kind::advance);
  }
  Statement fault() {
    s_.ns = name<Plix::NamespaceName>(t_, "namespace");
    if (s_.no) return done(Kind::fault);
    std::string call = t_.next("call");
    auto kind = Kernel::faultKindFromName(call);
    if (!kind) throw StatementError("unknown call " + Cli::quoted(call) + " (" + Kernel::faultKindNames() + ")");
    s_.call = *kind;
    std::string err = t_.next("errno");
    auto code = Kernel::errnoFromName(err);
    if (!code) throw StatementError("unknown errno " + Cli::quoted(err) + " (" + Kernel::errnoNames() + ")");
    s_.error = *code;
    if (t_.accept("count")) s_.count = static_cast<unsigned>(number(t_, "count", 1, 1000000));
    return done(Kind::fault, "count");
  }
  Statement show() {
    std::string what = t_.next("what to show");
    if (what == "kernel" || what == "counters") {
      if (!t_.done()) {
        s_.ns = name<Plix::NamespaceName>(t_, "namespace");
        s_.hasNs = true;
      }
      return done(what == "kernel" ? Kind::showKernel : Kind::showCounters);
    }
    if (what == "status") {
      if (!t_.done()) {
        s_.vrf = name<L3::VrfName>(t_, "VRF");
        s_.hasVrf = true;
      }
      return done(Kind::showStatus);
    }
    if (what == "machines") return done(Kind::showMachines);
    if (what == "mroute") {
      if (!t_.done()) {
        s_.vrf = name<L3::VrfName>(t_, "VRF");
        s_.hasVrf = true;
      }
      if (!t_.done()) {
        s_.key = routeKey();
        s_.hasKey = true;
      }
      return done(Kind::showMroute);
    }
    throw StatementError("unknown show " + Cli::quoted(what) + " (kernel, status, machines, mroute, counters)");
  }

  Plix::AddressFamily af_;
  Tokens t_;
  Statement s_;
};

}  // namespace

std::optional<Statement> StatementParser::parse(std::string_view line) const { return Parser(af_, line).run(); }

}  // namespace Kmfibd
