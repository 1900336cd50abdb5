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

ReferenceModel::ReferenceModel(Plix::AddressFamily af) : af_(af) {}

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
      } else {
        namespaces_.insert(s.ns.str());
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
      } else {
        auto [it, fresh] = configMax_.try_emplace(vrf, defaultMax);
        if (s.max) it->second = *s.max;
        // A bound changed in place applies from the next allocation; nothing is taken back.
        if (auto m = machines_.find(vrf); m != machines_.end()) {
          m->second.max = it->second;
          m->second.maxSeen = std::max(m->second.maxSeen, it->second);
        }
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
  for (auto const& v : vrfs) evaluate(v);
}

void ReferenceModel::evaluate(std::string const& vrf) {
  bool const isDefault = vrf == "default";
  auto config = configMax_.find(vrf);
  auto entry = vrfNs_.find(vrf);
  bool const nsReady = isDefault || (entry != vrfNs_.end() && !entry->second.empty());
  bool const wanted = config != configMax_.end() && nsReady;
  auto m = machines_.find(vrf);
  if (wanted && m == machines_.end()) {
    machines_[vrf] = Machine{isDefault ? "default" : entry->second, config->second, config->second};
    allocationPoint(vrf);
    return;
  }
  if (!wanted && m != machines_.end() && !isDefault) {
    machines_.erase(m);
    std::erase_if(mayLack_, [&](auto const& p) { return p.first == vrf; });
  }
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
  auto v = tables_.find(vrf);
  if (v == tables_.end()) return result;
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
