#include "tools/modelcheck/ReferenceModel.h"

#include <algorithm>

namespace ModelCheck {

namespace {

constexpr std::uint8_t iifRegister = 0x04;
constexpr std::uint8_t oifRegister = 0x08;
constexpr std::uint8_t switchingState = 0x20;
constexpr std::uint16_t defaultMax = 512;

bool special(std::string const& intf) { return intf == "Null0" || intf == "Register0"; }

}  // namespace

ReferenceModel::ReferenceModel(Plix::AddressFamily af) : af_(af) { limits_["default"] = {{0}, {0}}; }

ReferenceModel::Key ReferenceModel::keyOf(Routing::Multicast::Fib::IpGenRouteKey const& k) {
  return {k.source().address(), k.source().len(), k.group().address(), k.group().len()};
}

std::map<std::string, std::uint32_t> ReferenceModel::links(std::string const& ns) const {
  auto it = links_.find(ns);
  return it == links_.end() ? std::map<std::string, std::uint32_t>{} : it->second;
}

std::set<std::string> ReferenceModel::requested(std::string const& vrf) const {
  std::set<std::string> result;
  for (auto const& [app, perVrf] : requests_) {
    auto it = perVrf.find(vrf);
    if (it == perVrf.end()) continue;
    for (auto const& [intf, on] : it->second) {
      if (on) result.insert(intf);
    }
  }
  return result;
}

bool ReferenceModel::mayLackIndex(std::string const& vrf, std::string const& intf) const {
  return mayLack_.contains({vrf, intf});
}

std::optional<std::uint32_t> ReferenceModel::deviceIndex(std::string const& ns, std::string const& intf) const {
  auto dev = intfDev_.find(intf);
  if (dev == intfDev_.end()) return std::nullopt;
  auto nsLinks = links_.find(ns);
  if (nsLinks == links_.end()) return std::nullopt;
  auto link = nsLinks->second.find(dev->second);
  if (link == nsLinks->second.end()) return std::nullopt;
  return link->second;
}

void ReferenceModel::apply(Kmfibd::Statement const& s) {
  using Kind = Kmfibd::Statement::Kind;
  std::string const vrf = s.vrf.str();
  std::set<std::string> const before = vrf.empty() ? std::set<std::string>{} : requested(vrf);
  switch (s.kind) {
    case Kind::netns:
      if (s.no) {
        namespaces_.erase(s.ns.str());
        links_.erase(s.ns.str());
        limits_.erase(s.ns.str());
      } else if (namespaces_.insert(s.ns.str()).second) {
        limits_[s.ns.str()] = {{0}, {0}};  // nothing written yet
      }
      break;
    case Kind::link:
      if (s.no) {
        links_[s.ns.str()].erase(s.dev);
      } else {
        links_[s.ns.str()][s.dev] = s.ifindex;
      }
      break;
    case Kind::intf:
      if (s.no) {
        intfDev_.erase(s.intf.name());
      } else {
        intfDev_[s.intf.name()] = s.dev;
      }
      break;
    case Kind::vrf:
      if (s.no) {
        vrfNs_.erase(vrf);
      } else {
        vrfNs_[vrf] = s.ns.str();
      }
      break;
    case Kind::config:
      if (s.no) {
        configMax_.erase(vrf);
        configLimits_.erase(vrf);
      } else {
        auto [it, fresh] = configMax_.try_emplace(vrf, defaultMax);
        if (s.max) it->second = *s.max;
        auto& limits = configLimits_[vrf];
        if (s.unresolvedEntries) limits.entries = *s.unresolvedEntries;
        if (s.unresolvedBuffers) limits.buffers = *s.unresolvedBuffers;
        auto m = machines_.find(vrf);
        if (m == machines_.end()) break;
        auto& machine = m->second;
        if (fresh) {
          // A machine that outlived its configuration takes the new one: it writes both limits,
          // gives back the indices the new bound excludes and allocates again.
          machine.max = machine.maxSeen = it->second;
          machine.limits = limits;
          written(machine.ns, limits.entries, limits.buffers);
          allocationPoint(vrf);
          break;
        }
        // A bound changed in place applies from the next allocation; nothing is taken back.
        machine.max = it->second;
        machine.maxSeen = std::max(machine.maxSeen, it->second);
        // Each limit is written when it changes.
        auto const changed = [](std::uint32_t now, std::uint32_t was) { return now == was ? std::nullopt : std::optional(now); };
        written(machine.ns, changed(limits.entries, machine.limits.entries), changed(limits.buffers, machine.limits.buffers));
        machine.limits = limits;
      }
      break;
    case Kind::request:
      if (!s.no) {
        requests_[s.app][vrf][s.intf.name()] = s.on;
      } else if (!s.hasVrf) {
        requests_.erase(s.app);
      } else if (!s.hasIntf) {
        requests_[s.app].erase(vrf);
      } else {
        requests_[s.app][vrf].erase(s.intf.name());
      }
      break;
    case Kind::table:
      if (s.no) {
        tables_[vrf].erase(s.table);
        if (tables_[vrf].empty()) tables_.erase(vrf);
      } else {
        // The VRF's first table brings a new route collection.
        if (!tables_.contains(vrf)) ++collection_[vrf];
        auto [it, fresh] = tables_[vrf].try_emplace(s.table);
        if (s.preference) it->second.preference = *s.preference;
      }
      break;
    case Kind::route:
      if (s.no) {
        tables_[vrf][s.table].routes.erase(keyOf(s.key));
      } else {
        Route r{s.iif.empty() ? std::string() : s.iif.name(), {}, s.flags};
        for (auto const& oif : s.oifs) r.oifs.push_back(oif.name());
        tables_[vrf][s.table].routes[keyOf(s.key)] = r;
      }
      break;
    case Kind::advance:
      // The agent's start-up waits for the event loop.
      if (!agentUp_ && s.seconds > 0) {
        agentUp_ = true;
        evaluate();
      }
      return;
    case Kind::restart:
      machines_.clear();
      mayLack_.clear();
      agentUp_ = false;
      return;
    default:
      return;
  }
  // Every application request change is seen per VRF (a whole application's directory may go).
  if (s.kind == Kind::request) {
    std::set<std::string> vrfs;
    for (auto const& [name, m] : machines_) vrfs.insert(name);
    for (auto const& v : vrfs) {
      for (auto const& intf : requested(v)) {
        if (v != vrf || !before.contains(intf)) joined(v, intf);
      }
    }
    for (auto it = mayLack_.begin(); it != mayLack_.end();) {
      it = requested(it->first).contains(it->second) ? std::next(it) : mayLack_.erase(it);
    }
  }
  evaluate();
}

// Only what joins now is allocated now; others keep what they had.
void ReferenceModel::joined(std::string const& vrf, std::string const& intf) {
  auto m = machines_.find(vrf);
  if (m == machines_.end()) return;
  if (requested(vrf).size() >= m->second.max) {
    mayLack_.insert({vrf, intf});
  }
}

void ReferenceModel::allocationPoint(std::string const& vrf) {
  auto m = machines_.find(vrf);
  if (m == machines_.end()) return;
  auto const wanted = requested(vrf);
  for (auto const& intf : wanted) {
    if (wanted.size() + 1 > m->second.max) {
      mayLack_.insert({vrf, intf});
    } else {
      mayLack_.erase({vrf, intf});
    }
  }
}

std::set<std::string> ReferenceModel::tableVrfs() const {
  std::set<std::string> result;
  for (auto const& [vrf, tables] : tables_) result.insert(vrf);
  return result;
}

void ReferenceModel::evaluate() {
  if (!agentUp_) return;
  std::set<std::string> vrfs;
  for (auto const& [v, max] : configMax_) vrfs.insert(v);
  for (auto const& [v, ns] : vrfNs_) vrfs.insert(v);
  for (auto const& [v, m] : machines_) vrfs.insert(v);
  // Machines built in one pass write their limits in an order of the agent's choosing.
  std::map<std::string, std::pair<std::set<std::uint32_t>, std::set<std::uint32_t>>> built;
  for (auto const& v : vrfs) {
    if (!evaluate(v)) continue;
    auto const& m = machines_.at(v);
    if (!namespaces_.contains(m.ns)) continue;
    built[m.ns].first.insert(m.limits.entries);
    built[m.ns].second.insert(m.limits.buffers);
  }
  for (auto& [ns, values] : built) limits_[ns] = std::move(values);
}

bool ReferenceModel::evaluate(std::string const& vrf) {
  bool const isDefault = vrf == "default";
  auto config = configMax_.find(vrf);
  auto entry = vrfNs_.find(vrf);
  bool const nsReady = isDefault || (entry != vrfNs_.end() && !entry->second.empty());
  bool const wanted = config != configMax_.end() && nsReady;
  auto m = machines_.find(vrf);
  if (!wanted) {
    if (m != machines_.end() && !isDefault) {
      machines_.erase(m);
      std::erase_if(mayLack_, [&](auto const& p) { return p.first == vrf; });
    }
    return false;
  }
  std::optional<unsigned> const collection =
      tables_.contains(vrf) ? std::optional<unsigned>(collection_.at(vrf)) : std::nullopt;
  if (m != machines_.end()) {
    m->second.collection = collection;
    return false;
  }
  machines_[vrf] = Machine{isDefault ? "default" : entry->second, config->second, config->second, collection,
                           configLimits_.at(vrf)};
  allocationPoint(vrf);
  return true;
}

void ReferenceModel::written(std::string const& ns, std::optional<std::uint32_t> entries,
                             std::optional<std::uint32_t> buffers) {
  // A write into a namespace that does not exist fails and leaves nothing.
  auto it = limits_.find(ns);
  if (it == limits_.end()) return;
  if (entries) it->second.first = {*entries};
  if (buffers) it->second.second = {*buffers};
}

bool ReferenceModel::followsTables(std::string const& vrf) const {
  auto m = machines_.find(vrf);
  auto c = collection_.find(vrf);
  return m != machines_.end() && m->second.collection && tables_.contains(vrf) && c != collection_.end() &&
         *m->second.collection == c->second;
}

std::optional<std::string> ReferenceModel::bestTable(std::string const& vrf, Key const& key) const {
  auto v = tables_.find(vrf);
  if (v == tables_.end()) return std::nullopt;
  std::optional<std::string> best;
  std::uint32_t bestPreference = 0;
  for (auto const& [name, table] : v->second) {
    if (!table.routes.contains(key)) continue;
    // Lowest preference wins; ties go to the name that sorts first (the map's order).
    if (!best || table.preference < bestPreference) {
      best = name;
      bestPreference = table.preference;
    }
  }
  return best;
}

std::map<ReferenceModel::Key, ReferenceModel::Entry> ReferenceModel::expectedMfc(std::string const& vrf,
                                                                                Registered const& registered) const {
  std::map<Key, Entry> result;
  // A machine that holds a route collection that went programs nothing of the new one.
  if (!followsTables(vrf)) return result;
  auto v = tables_.find(vrf);
  std::set<Key> keys;
  for (auto const& [name, table] : v->second) {
    for (auto const& [key, route] : table.routes) keys.insert(key);
  }
  auto vifOf = [&](std::string const& intf) -> std::optional<std::uint16_t> {
    if (special(intf)) return std::nullopt;
    auto it = registered.find(intf);
    if (it == registered.end()) return std::nullopt;
    return it->second;
  };
  for (auto const& key : keys) {
    if (key.sourceLen == 0) continue;  // (*,G) is never programmed
    Route const& r = v->second.at(*bestTable(vrf, key)).routes.at(key);
    if (!r.iif.empty() && !(r.flags & iifRegister) && (r.flags & switchingState)) continue;
    if (r.iif == "Null0") continue;
    Entry e;
    if (!r.iif.empty()) {
      if (auto vif = vifOf(r.iif)) e.iif = *vif;
    }
    for (auto const& oif : r.oifs) {
      if (oif == r.iif) continue;  // the incoming interface only
      if (auto vif = vifOf(oif)) e.oifs.insert(*vif);
    }
    if (r.flags & iifRegister) {
      e.iif = 0;
    } else if (r.flags & oifRegister) {
      e.oifs.insert(0);
    }
    result[key] = e;
  }
  return result;
}

}  // namespace ModelCheck
