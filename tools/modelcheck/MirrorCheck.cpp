#include "tools/modelcheck/MirrorCheck.h"

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/StatementParser.h"
#include "tools/modelcheck/ReferenceModel.h"
#include "tools/modelcheck/RunEvidence.h"
#include "trace/Context.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace ModelCheck {

namespace {

using Address = ReferenceModel::Address;
using Entry = ReferenceModel::Entry;
using Key = ReferenceModel::Key;
using Snapshot = Kernel::NamespaceSnapshot;
using Kind = Kmfibd::Statement::Kind;

std::string addressText(Plix::AddressFamily af, Address const& a) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(af == Plix::AddressFamily::ipv6 ? AF_INET6 : AF_INET, a.data(), text, sizeof text);
  return text;
}

std::string entryText(Entry const& e) {
  std::ostringstream os;
  os << "iif=" << e.iif << " oifs=";
  if (e.oifs.empty()) os << "-";
  char const* sep = "";
  for (auto v : e.oifs) {
    os << sep << v;
    sep = ",";
  }
  return os.str();
}

// `KIND key=value ...` records of a `show` statement, by kind.
std::vector<std::map<std::string, std::string>> records(std::string const& text, std::string const& kind) {
  std::vector<std::map<std::string, std::string>> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word != kind) continue;
    std::map<std::string, std::string> fields;
    while (words >> word) {
      auto eq = word.find('=');
      if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    result.push_back(std::move(fields));
  }
  return result;
}

// What one VRF's status publishes.
struct PublishedStatus {
  std::map<std::string, std::uint16_t> config;
  ReferenceModel::Registered registered;
  std::map<std::uint16_t, std::string> reverse;
};

std::map<std::string, PublishedStatus> publishedStatus(std::string const& text) {
  std::map<std::string, PublishedStatus> result;
  for (auto& r : records(text, "status")) {
    auto& s = result[r["vrf"]];
    if (r["kind"] == "config") s.config[r["intf"]] = static_cast<std::uint16_t>(std::stoul(r["vif"]));
    if (r["kind"] == "registered") s.registered[r["intf"]] = static_cast<std::uint16_t>(std::stoul(r["vif"]));
    if (r["kind"] == "reverse") s.reverse[static_cast<std::uint16_t>(std::stoul(r["vif"]))] = r["intf"];
  }
  return result;
}

class Run {
 public:
  explicit Run(MirrorCheck::Options const& options)
      : options_(options),
        host_({.af = options.af}),
        parser_(options.af),
        model_(options.af),
        evidence_(host_.kernel(), options.af),
        sink_(evidence_),
        selection_("KernelMfibSm/8") {
    host_.kernel().recordingIs(true);
    // Machines make their calls in their VRF's trace context.
    host_.kernel().callHookIs([this] {
      if (auto const* context = Trace::currentContext()) evidence_.callerIs(*context);
    });
  }

  MirrorCheck::Outcome go(std::vector<std::string> const& script) {
    MirrorCheck::Outcome outcome;
    evidence_.settled({}, kernelVifs());
    for (auto const& line : script) {
      std::string text = line;
      if (options_.audit && line.starts_with("config ")) text += " audit " + std::to_string(int(MirrorCheck::auditPeriod));
      try {
        auto s = parser_.parse(text);
        if (!s) continue;
        before(*s);
        std::ostringstream out;
        host_.apply(*s, out);
        model_.apply(*s);
      } catch (Kmfibd::StatementError const& e) {
        outcome.valid = false;
        outcome.refusal = line + ": " + e.what();
        return outcome;
      }
      after();
    }
    settle(outcome);
    check(outcome);
    outcome.shared = shared_;
    return outcome;
  }

 private:
  std::string show(std::string const& what) {
    std::ostringstream out;
    host_.apply(*parser_.parse(what), out);
    return out.str();
  }

  void apply(std::string const& line) {
    auto s = parser_.parse(line);
    before(*s);
    std::ostringstream out;
    host_.apply(*s, out);
    model_.apply(*s);
    after();
  }

  std::set<std::string> machineVrfs() const {
    std::set<std::string> result;
    for (auto const& [vrf, machine] : model_.machines()) result.insert(vrf);
    return result;
  }

  void before(Kmfibd::Statement const& s) {
    evidence_.starting();
    if (s.kind == Kind::restart) joins_.clear();
    std::string const vrf = s.vrf.str();
    if (s.kind == Kind::restart) evidence_.restarting(machineVrfs());
    if (s.kind == Kind::netns && s.no) evidence_.namespaceRemoving(s.ns.str());
    if (s.kind == Kind::route) {
      // A change in a collection the machine does not hold does not reach it.
      if (model_.followsTables(vrf)) evidence_.routeChanging(vrf, ReferenceModel::keyOf(s.key));
      lastChange_[vrf][ReferenceModel::keyOf(s.key)] = s.table;
    }
    if (s.kind == Kind::table && s.no) {
      // The keys it held the best route of, and those whose last change it saw.
      std::set<Key> keys;
      for (auto const& [key, table] : lastChange_[vrf]) {
        if (table == s.table) keys.insert(key);
      }
      auto const& tables = model_.tables();
      auto v = tables.find(vrf);
      if (v != tables.end() && v->second.contains(s.table)) {
        for (auto const& [key, route] : v->second.at(s.table).routes) {
          if (model_.bestTable(vrf, key) == s.table) keys.insert(key);
        }
      }
      evidence_.tableRemoving(vrf, keys);
    }
  }

  std::map<std::string, std::map<std::uint16_t, std::uint32_t>> kernelVifs() {
    std::map<std::string, std::map<std::uint16_t, std::uint32_t>> result;
    for (auto const& snap : host_.kernel().snapshot(std::nullopt)) {
      for (auto const& vif : snap.vifs) {
        if (vif.af == options_.af) result[snap.ns.str()][vif.index] = vif.ifindex;
      }
    }
    return result;
  }

  void after() {
    evidence_.settled(machineVrfs(), kernelVifs());
    // Where each requested interface last joined its VRF's machine: by the end of the
    // statement, as a machine built now first deletes what its status holds and then allocates.
    for (auto const& [vrf, machine] : model_.machines()) {
      auto const now = model_.requested(vrf);
      auto& joined = joins_[vrf];
      std::erase_if(joined, [&](auto const& j) { return !now.contains(j.first); });
      for (auto const& intf : now) joined.try_emplace(intf, evidence_.mark());
    }
    std::erase_if(joins_, [&](auto const& j) { return !model_.machines().contains(j.first); });
    std::set<std::string> namespaces;
    for (auto const& [vrf, machine] : model_.machines()) {
      if (!namespaces.insert(machine.ns).second) shared_ = true;
    }
  }

  void settle(MirrorCheck::Outcome& outcome) {
    // With the audit on, two audit periods without any change; off, two quiet spans that
    // outlast every retry period.
    double const span = options_.audit ? MirrorCheck::auditPeriod : 10;
    std::string last;
    int quiet = 0;
    for (int round = 0; round < 16 && quiet < 2; ++round) {
      std::string const line = "advance " + std::to_string(static_cast<int>(span));
      apply(line);
      outcome.settle.push_back(line);
      // An audit's run count grows every period; quiet means nothing else changes.
      std::string const now =
          show("show kernel") + std::regex_replace(show("show status"), std::regex(" runs=[0-9]+"), "");
      quiet = now == last ? quiet + 1 : 0;
      last = now;
    }
  }

  std::string keyText(Key const& k) const {
    return addressText(options_.af, k.source) + "," + addressText(options_.af, k.group);
  }

  void finding(MirrorCheck::Outcome& outcome, std::string text, std::string exception = "") {
    if (options_.audit) exception.clear();
    outcome.findings.push_back({std::move(text), std::move(exception)});
  }

  void check(MirrorCheck::Outcome& outcome) {
    auto const status = publishedStatus(show("show status"));
    auto const machines = records(show("show machines"), "machine");
    auto const snapshots = host_.kernel().snapshot(std::nullopt);
    std::map<std::string, std::string> agentMachines;
    for (auto m : machines) {
      agentMachines[m["vrf"]] = m["ns"];
      std::string const vrf = m["vrf"];
      auto const& modelMachines = model_.machines();
      auto it = modelMachines.find(vrf);
      if (it == modelMachines.end()) {
        finding(outcome, "VRF " + vrf + " has a machine in " + m["ns"] + " that it should not have");
        continue;
      }
      if (it->second.ns != m["ns"]) finding(outcome, "VRF " + vrf + "'s machine is in " + m["ns"] + ", not " + it->second.ns);
      bool const tables = it->second.collection.has_value();
      if ((m["tables"] == "yes") != tables || (m["vif-review"] == "yes") != tables) {
        finding(outcome, "VRF " + vrf + "'s machine has tables=" + m["tables"] + " vif-review=" + m["vif-review"]);
      }
    }
    for (auto const& [vrf, machine] : model_.machines()) {
      if (!agentMachines.contains(vrf)) finding(outcome, "VRF " + vrf + " has no machine in " + machine.ns);
    }
    for (auto const& [vrf, s] : status) {
      if (model_.machines().contains(vrf)) continue;
      finding(outcome, "VRF " + vrf + " has a status entry but no machine", evidence_.statusCase(vrf));
    }

    std::set<std::string> machineNamespaces;
    for (auto const& [vrf, machine] : model_.machines()) {
      machineNamespaces.insert(machine.ns);
      auto st = status.find(vrf);
      PublishedStatus const published = st == status.end() ? PublishedStatus{} : st->second;
      std::string const& ns = machine.ns;
      // The namespace's kernel mirrors the VRF whose socket routes there.
      std::string const shared = evidence_.sharedCase(vrf, ns);
      checkStatus(outcome, vrf, machine, published, shared);
      auto snap = std::find_if(snapshots.begin(), snapshots.end(), [&](auto const& s) { return s.ns.str() == ns; });
      if (snap == snapshots.end()) continue;  // the namespace does not exist: nothing to hold
      if (!shared.empty()) {
        finding(outcome, "VRF " + vrf + "'s tables are not mirrored in " + ns, shared);
        continue;
      }
      checkKernel(outcome, vrf, machine, published, *snap);
    }
    for (auto const& snap : snapshots) checkLimits(outcome, snap);
    for (auto const& snap : snapshots) {
      if (machineNamespaces.contains(snap.ns.str())) continue;
      auto const vifs = std::count_if(snap.vifs.begin(), snap.vifs.end(), [&](auto const& v) { return v.af == options_.af; });
      auto const mfcs = std::count_if(snap.mfcs.begin(), snap.mfcs.end(), [&](auto const& m) { return m.af == options_.af; });
      if (vifs || mfcs) {
        finding(outcome, "namespace " + snap.ns.str() + " has no machine but holds " + std::to_string(vifs) + " VIFs and " +
                             std::to_string(mfcs) + " MFC entries");
      }
    }
  }

  // The audit reads back VIFs and MFC entries only: the limits are held to the model with
  // it off, where a refused write is a case of its own.
  // An interface that joined while a refused delete held an index back may lack one: the
  // kernel's refusal is an input here, as the published status is.
  bool heldBackAtJoin(std::string const& vrf, std::string const& ns, std::string const& intf) const {
    auto v = joins_.find(vrf);
    if (v == joins_.end() || !v->second.contains(intf)) return false;
    return evidence_.heldBackAt(ns, v->second.at(intf));
  }

  void checkLimits(MirrorCheck::Outcome& outcome, Snapshot const& snap) {
    if (options_.audit) return;
    auto const& limits = model_.limits();
    auto it = limits.find(snap.ns.str());
    if (it == limits.end()) return;
    auto const& [entries, buffers] = it->second;
    auto const one = [&](char const* name, char const* path, std::uint32_t held, std::set<std::uint32_t> const& wanted) {
      if (wanted.contains(held)) return;
      finding(outcome, "namespace " + snap.ns.str() + ": " + name + "=" + std::to_string(held) + ", should be " +
                           std::to_string(*wanted.begin()),
              evidence_.limitCase(snap.ns.str(), path, held));
    };
    one("unresolved-entries", "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit", snap.unresolvedEntries, entries);
    one("unresolved-buffers", "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit", snap.unresolvedBuffers, buffers);
  }

  void checkStatus(MirrorCheck::Outcome& outcome, std::string const& vrf, ReferenceModel::Machine const& machine,
                   PublishedStatus const& s, std::string const& shared) {
    std::string const unregistered = shared.empty() ? evidence_.machineCase(vrf, machine.ns) : shared;
    auto const requested = model_.requested(vrf);
    std::map<std::uint16_t, std::string> holders;
    for (auto const& [intf, vif] : s.config) {
      if (auto [it, fresh] = holders.emplace(vif, intf); !fresh) {
        finding(outcome, "VRF " + vrf + ": VIF " + std::to_string(vif) + " is held by " + it->second + " and " + intf);
      }
      if (vif == 0 || vif >= machine.maxSeen) {
        finding(outcome, "VRF " + vrf + ": " + intf + " holds VIF " + std::to_string(vif) + " outside 1-" +
                             std::to_string(machine.maxSeen - 1));
      }
      if (!requested.contains(intf)) finding(outcome, "VRF " + vrf + ": " + intf + " holds VIF " + std::to_string(vif) + " but nobody requests it");
    }
    std::set<std::uint16_t> free;
    for (std::uint16_t v = 1; v < machine.max && free.size() <= 8; ++v) {
      if (!holders.contains(v)) free.insert(v);
    }
    for (auto const& intf : requested) {
      if (!s.config.contains(intf) && !model_.mayLackIndex(vrf, intf) && !heldBackAtJoin(vrf, machine.ns, intf)) {
        auto const heldBack = evidence_.heldBackCase(vrf, machine.ns, free);
        finding(outcome, "VRF " + vrf + ": " + intf + " is requested but has no VIF, though an index was free",
                heldBack.empty() ? unregistered : heldBack);
      }
    }
    for (auto const& [intf, vif] : s.registered) {
      auto c = s.config.find(intf);
      if (c == s.config.end() || c->second != vif) {
        finding(outcome, "VRF " + vrf + ": " + intf + " is registered at VIF " + std::to_string(vif) + " but not allocated so");
      }
      auto r = s.reverse.find(vif);
      if (r == s.reverse.end() || r->second != intf) {
        finding(outcome, "VRF " + vrf + ": the reverse map lacks VIF " + std::to_string(vif) + " -> " + intf);
      }
      if (!model_.deviceIndex(machine.ns, intf)) {
        finding(outcome, "VRF " + vrf + ": " + intf + " is registered though its device is missing in " + machine.ns);
      }
    }
    for (auto const& [vif, intf] : s.reverse) {
      auto r = s.registered.find(intf);
      if (r == s.registered.end() || r->second != vif) {
        finding(outcome, "VRF " + vrf + ": the reverse map has VIF " + std::to_string(vif) + " -> " + intf + " that no registration has");
      }
    }
    if (!model_.namespaces().contains(machine.ns)) return;
    for (auto const& [intf, vif] : s.config) {
      if (s.registered.contains(intf) || !model_.deviceIndex(machine.ns, intf)) continue;
      finding(outcome, "VRF " + vrf + ": " + intf + " holds VIF " + std::to_string(vif) + " and its device is present, but it is not registered",
              unregistered);
    }
  }

  void checkKernel(MirrorCheck::Outcome& outcome, std::string const& vrf, ReferenceModel::Machine const& machine,
                   PublishedStatus const& s, Snapshot const& snap) {
    std::string const& ns = machine.ns;
    std::map<std::uint16_t, std::uint32_t> held;
    for (auto const& v : snap.vifs) {
      if (v.af == options_.af) held[v.index] = v.ifindex;
    }
    std::map<std::uint16_t, std::uint32_t> want;
    if (snap.mrtOn) want[0] = 0;
    for (auto const& [intf, vif] : s.registered) {
      if (auto index = model_.deviceIndex(ns, intf)) want[vif] = *index;
    }
    outcome.vifs += want.size();
    std::set<std::uint16_t> missing;  // lacking for a case of their own
    for (auto const& [vif, ifindex] : want) {
      auto h = held.find(vif);
      if (h != held.end() && h->second == ifindex) continue;
      std::string text = "namespace " + ns + ": VIF " + std::to_string(vif) + " on ifindex " + std::to_string(ifindex) +
                         (h == held.end() ? " is missing" : " is on ifindex " + std::to_string(h->second));
      auto const heldIndex = h == held.end() ? std::nullopt : std::optional<std::uint32_t>(h->second);
      auto why = evidence_.vifCase(vrf, ns, vif, ifindex, heldIndex);
      if (!why.empty() && !heldIndex) missing.insert(vif);
      finding(outcome, text, why);
    }
    for (auto const& [vif, ifindex] : held) {
      if (want.contains(vif)) continue;
      finding(outcome, "namespace " + ns + ": VIF " + std::to_string(vif) + " on ifindex " + std::to_string(ifindex) +
                           " is held by no registration",
              evidence_.vifCase(vrf, ns, vif, std::nullopt, ifindex));
    }

    auto const expected = model_.expectedMfc(vrf, s.registered);
    std::map<Key, Entry> kernel;
    for (auto const& m : snap.mfcs) {
      if (m.af != options_.af) continue;
      std::uint8_t const len = options_.af == Plix::AddressFamily::ipv6 ? 128 : 32;
      Entry e{m.iif, {m.oifs.begin(), m.oifs.end()}};
      kernel[Key{m.source, len, m.group, len}] = e;
    }
    outcome.entries += expected.size();
    for (auto const& [key, e] : expected) {
      auto k = kernel.find(key);
      if (k != kernel.end() && k->second == e) continue;
      Entry const* heldEntry = k == kernel.end() ? nullptr : &k->second;
      std::string text = "namespace " + ns + ": MFC " + keyText(key) + " should be " + entryText(e) + ", kernel has " +
                         (heldEntry ? entryText(*heldEntry) : "none");
      finding(outcome, text, evidence_.mfcCase(vrf, ns, key, &e, heldEntry, missing));
    }
    for (auto const& [key, e] : kernel) {
      if (expected.contains(key)) continue;
      finding(outcome, "namespace " + ns + ": MFC " + keyText(key) + " " + entryText(e) + " should not be there",
              evidence_.mfcCase(vrf, ns, key, nullptr, &e, missing));
    }
  }

  MirrorCheck::Options options_;
  mutable Kmfibd::Host host_;  // read by the evidence look-ups
  Kmfibd::StatementParser parser_;
  ReferenceModel model_;
  RunEvidence evidence_;
  std::map<std::string, std::map<std::string, std::size_t>> joins_;  // per VRF: interface, where it joined
  bool shared_ = false;  // two machines were in one namespace
  std::map<std::string, std::map<Key, std::string>> lastChange_;  // per VRF: the table of each key's last change
  Trace::SinkScope sink_;
  Trace::SelectionScope selection_;  // the lines that tell of an abandoned walk
};

}  // namespace

bool MirrorCheck::Outcome::failed() const {
  return valid && std::any_of(findings.begin(), findings.end(), [](auto const& f) { return f.exception.empty(); });
}

bool MirrorCheck::auditSupported(Plix::AddressFamily af) {
  try {
    return Kmfibd::StatementParser(af).parse("config default audit 30").has_value();
  } catch (Kmfibd::StatementError const&) {
    return false;
  }
}

MirrorCheck::Outcome MirrorCheck::run(std::vector<std::string> const& script, Options const& options) {
  return Run(options).go(script);
}

std::string MirrorCheck::scenario(std::vector<std::string> const& script, Options const& options, Outcome const& outcome) {
  std::ostringstream os;
  if (options.af == Plix::AddressFamily::ipv6) os << "#! --af 6\n";
  for (auto const& f : outcome.findings) {
    if (f.exception.empty()) os << "# " << f.text << "\n";
  }
  for (auto const& line : script) {
    os << line;
    if (options.audit && line.starts_with("config ")) os << " audit " << static_cast<int>(auditPeriod);
    os << "\n";
  }
  for (auto const& line : outcome.settle) os << line << "\n";
  os << "show machines\nshow status\nshow kernel\n";
  return os.str();
}

}  // namespace ModelCheck
