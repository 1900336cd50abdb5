#include "tools/kmfibd/StatedObjects.h"

#include <set>
#include <sstream>

#include "entities/Config.h"
#include "halm/Status.h"

namespace Kmfibd {

namespace {

using Kind = Statement::Kind;

// The key every object depending on `s`'s object starts with; empty when nothing depends on
// it in a way its removal takes along.
std::string dependentsPrefix(Statement const& s) {
  if (s.kind == Kind::netns) return "1 link " + s.ns.str() + " ";
  if (s.kind == Kind::table) return "7 route " + s.vrf.str() + " " + s.table + " ";
  return {};
}

bool startsWith(std::string const& text, std::string const& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// `to`, with the defaults of the attributes `from` named and `to` does not.
Statement withDroppedAttributes(Statement const& from, Statement to) {
  using Routing::KernelMfib::Config;
  if (to.kind == Kind::config) {
    if (from.max && !to.max) to.max = Config::defaultMax;
    if (from.unresolvedEntries && !to.unresolvedEntries)
      to.unresolvedEntries = Config::defaultMaxUnresolvedCacheEntries;
    if (from.unresolvedBuffers && !to.unresolvedBuffers) to.unresolvedBuffers = Config::defaultMaxUnresolvedPktBuffers;
  }
  if (to.kind == Kind::table && from.preference && !to.preference) {
    to.preference = Halm::Multicast::Fib::Status::defaultPreference;
  }
  return to;
}

Statement removal(Statement s) {
  s.no = true;
  if (s.kind == Kind::request) {
    s.hasVrf = true;
    s.hasIntf = true;
  }
  return s;
}

}  // namespace

std::string StatedObjects::keyOf(Statement const& s) {
  std::ostringstream k;
  switch (s.kind) {
    case Kind::netns: k << "0 netns " << s.ns; break;
    case Kind::link: k << "1 link " << s.ns << " " << s.dev; break;
    case Kind::intf: k << "2 intf " << s.intf; break;
    case Kind::vrf: k << "3 vrf " << s.vrf; break;
    case Kind::config: k << "4 config " << s.vrf; break;
    case Kind::request:
      k << "5 request " << s.app;
      if (!s.no || s.hasVrf) k << " " << s.vrf;
      if (!s.no || s.hasIntf) k << " " << s.intf;
      break;
    case Kind::table: k << "6 table " << s.vrf << " " << s.table; break;
    case Kind::route:
      k << "7 route " << s.vrf << " " << s.table << " " << s.key.source() << " " << s.key.group();
      break;
    default: return {};
  }
  return k.str();
}

Statement const* StatedObjects::find(std::string const& key) const {
  auto it = objects_.find(key);
  return it == objects_.end() ? nullptr : it->second.get();
}

void StatedObjects::isFrom(std::string const& key, StatedObjects const& other) {
  auto it = other.objects_.find(key);
  if (it != other.objects_.end()) objects_[key] = it->second;
}

std::vector<std::string> StatedObjects::apply(Statement const& s) {
  std::string const key = keyOf(s);
  if (key.empty()) return {};
  if (!s.no) {
    Held& held = objects_[key];
    if (held && s.kind == Kind::config) {
      // Another holder may share the old statement: the merge is a new one.
      auto merged = std::make_shared<Statement>(*held);
      if (s.max) merged->max = s.max;
      if (s.unresolvedEntries) merged->unresolvedEntries = s.unresolvedEntries;
      if (s.unresolvedBuffers) merged->unresolvedBuffers = s.unresolvedBuffers;
      held = std::move(merged);
    } else {
      held = std::make_shared<Statement const>(s);
    }
    return {key};
  }
  // `no request APP [VRF]` names a prefix of its requests' keys.
  std::string const prefix = s.kind == Kind::request && !(s.hasVrf && s.hasIntf) ? key + " " : dependentsPrefix(s);
  std::vector<std::string> touched;
  for (auto it = objects_.begin(); it != objects_.end();) {
    bool const gone = it->first == key || (!prefix.empty() && startsWith(it->first, prefix));
    if (!gone) {
      ++it;
      continue;
    }
    touched.push_back(it->first);
    it = objects_.erase(it);
  }
  return touched;
}

std::string StatedObjects::conflict(Statement const& s) const {
  if (s.no) return {};
  if (s.kind == Kind::link) {
    // Links' keys run together, so a million routes are not looked at for each link.
    std::string const links = "1 link ";
    for (auto it = objects_.lower_bound(links); it != objects_.end() && startsWith(it->first, links); ++it) {
      Statement const& other = *it->second;
      if (other.ns != s.ns || other.dev == s.dev || other.ifindex != s.ifindex) continue;
      return "interface index " + std::to_string(s.ifindex) + " is " + other.dev + "'s in namespace " + s.ns.str();
    }
  }
  if (s.kind == Kind::link && !s.ns.isDefault()) {
    Statement ns;
    ns.kind = Kind::netns;
    ns.ns = s.ns;
    if (!has(keyOf(ns))) return "no namespace " + s.ns.str();
  }
  if (s.kind == Kind::route) {
    Statement table;
    table.kind = Kind::table;
    table.vrf = s.vrf;
    table.table = s.table;
    if (!has(keyOf(table))) return "no table " + s.table + " in VRF " + s.vrf.str();
  }
  return {};
}

std::vector<Statement> StatedObjects::batch(StatedObjects const& from, StatedObjects const& to) {
  std::vector<Statement> out;
  // A removed table or namespace takes its dependents along; they need no statement of their own.
  std::set<std::string> removedPrefixes;
  for (auto it = from.objects_.rbegin(); it != from.objects_.rend(); ++it) {
    if (to.has(it->first)) continue;
    std::string const prefix = dependentsPrefix(*it->second);
    if (!prefix.empty()) removedPrefixes.insert(prefix);
  }
  for (auto it = from.objects_.rbegin(); it != from.objects_.rend(); ++it) {
    if (to.has(it->first)) continue;
    bool covered = false;
    for (auto const& prefix : removedPrefixes) covered = covered || startsWith(it->first, prefix);
    if (!covered) out.push_back(removal(*it->second));
  }
  for (auto const& [key, statement] : to.objects_) {
    auto it = from.objects_.find(key);
    if (it == from.objects_.end()) {
      out.push_back(*statement);
      continue;
    }
    if (it->second == statement || *it->second == *statement) continue;
    out.push_back(withDroppedAttributes(*it->second, *statement));
  }
  return out;
}

}  // namespace Kmfibd
