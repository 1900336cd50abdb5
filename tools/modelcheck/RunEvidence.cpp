#include "tools/modelcheck/RunEvidence.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "kernel/ErrnoName.h"
#include "kernel/MrtFamily.h"
#include "trace/Context.h"

namespace ModelCheck {

namespace {

using Kernel::CallKind;

constexpr char const* removedNamespace = "-";

std::string errnoOf(Kernel::SimKernel::Call const& c) { return Kernel::errnoName(c.error); }

// The kernel names the kind of a call on a descriptor it does not know "other"; the option
// says what was asked.
CallKind kindOf(Kernel::SimKernel::Call const& c) {
  if (c.kind != CallKind::other) return c.kind;
  switch (c.option) {
    case 202: return CallKind::addVif;
    case 203: return CallKind::delVif;
    case 204: return CallKind::addMfc;
    case 205: return CallKind::delMfc;
    default: return CallKind::other;
  }
}

bool after(std::optional<std::size_t> a, std::optional<std::size_t> b) { return a && (!b || *a > *b); }

// Whether the call came at or after a mark: a mark is the number of calls made before it.
bool since(std::optional<std::size_t> call, std::size_t mark) { return call && *call >= mark; }

}  // namespace

RunEvidence::RunEvidence(Kernel::SimKernel const& kernel, Plix::AddressFamily af) : kernel_(kernel), af_(af) {}

void RunEvidence::resolve() {
  for (std::size_t i = owners_.size(); i < calls().size(); ++i) {
    auto const& c = calls()[i];
    auto fd = fds_.find(c.fd);
    std::string owner = fd != fds_.end() ? fd->second : c.ns.str();
    if (c.kind == CallKind::socket && c.result >= 0) owner = fds_[c.fd] = c.ns.str();
    if (c.kind == CallKind::close) fds_.erase(c.fd);
    owners_.push_back(std::move(owner));
  }
}

void RunEvidence::starting() {
  resolve();
  statementStart_ = calls().size();
}

void RunEvidence::restarting(std::set<std::string> const& vrfsWithMachines) {
  restarts_.push_back(calls().size());
  orphans_.insert(vrfsWithMachines.begin(), vrfsWithMachines.end());
}

void RunEvidence::namespaceRemoving(std::string const& ns) {
  namespaceRemovals_[ns].push_back(calls().size());
  for (auto& [fd, owner] : fds_) {
    if (owner == ns) owner = removedNamespace;
  }
}

void RunEvidence::tableRemoving(std::string const& vrf, std::set<Key> const& keys) {
  for (auto const& key : keys) tableRemovals_[vrf][key] = calls().size();
}

void RunEvidence::routeChanging(std::string const& vrf, Key const& key) {
  auto v = tableRemovals_.find(vrf);
  if (v != tableRemovals_.end()) v->second.erase(key);
}

void RunEvidence::settled(std::set<std::string> const& vrfsWithMachines,
                          std::map<std::string, std::map<std::uint16_t, std::uint32_t>> vifs) {
  resolve();
  for (auto const& vrf : vrfsWithMachines) orphans_.erase(vrf);
  for (auto const& [ns, held] : vifs_) {
    auto n = vifs.find(ns);
    for (auto const& [index, ifindex] : held) {
      if (n == vifs.end() || !n->second.contains(index) || n->second.at(index) != ifindex) {
        vifsGone_[ns][index].push_back(statementStart_);
      }
    }
  }
  vifs_ = std::move(vifs);
}

void RunEvidence::write(double, std::string_view, int, std::string_view text) {
  if (!text.starts_with("mfibHalm at ") || !text.ends_with(" does not exist.")) return;
  auto const* context = Trace::currentContext();
  if (!context || !context->starts_with("vrf=")) return;
  abandonedWalks_[std::string(context->substr(4))].push_back(calls().size());
}

template <class Touch>
RunEvidence::Replay RunEvidence::replay(std::string const& vrf, std::string const& ns,
                                        std::vector<std::size_t> const& drops, Touch const& touch) const {
  Replay r;
  std::optional<int> started;
  bool startedMine = false;
  bool failedOpen = false;  // the namespace's last open attempt failed
  std::vector<std::size_t> removals;
  if (auto n = namespaceRemovals_.find(ns); n != namespaceRemovals_.end()) removals = n->second;
  auto removal = removals.begin();
  auto drop = drops.begin();
  // Removals and drops at a position come before the call made there.
  auto const upTo = [&](std::size_t i) {
    for (; removal != removals.end() && *removal <= i; ++removal) {
      r = Replay{r.last, *removal, *removal, {}, {}, false};
      started.reset();
      failedOpen = false;
    }
    for (; drop != drops.end() && *drop <= i; ++drop) r.vif.reset();
  };
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    upTo(i);
    auto const& c = calls()[i];
    // A machine whose socket did not open sends its requests to the failed descriptor.
    if (owners_[i].empty() && c.fd < 0 && failedOpen && mine(i, vrf)) {
      touch(i, c, r);
      if (r.last == i) r.beforeOpen = true;
      continue;
    }
    if (owners_[i] != ns) continue;
    if (c.kind == CallKind::socket && mine(i, vrf)) failedOpen = c.result < 0;
    // The routing socket's close empties the namespace's tables, whoever's socket it was;
    // only the VRF's own explains what its calls left.
    if (c.kind == CallKind::start && c.result >= 0) {
      started = c.fd;
      startedMine = mine(i, vrf);
    }
    if (c.kind == CallKind::close && started == c.fd) {
      r = Replay{r.last, i, startedMine ? std::optional(i) : r.ownCleared, {}, {}, false};
      started.reset();
    }
    auto const last = r.last;
    touch(i, c, r);
    if (r.last != last) r.beforeOpen = false;
  }
  upTo(std::numeric_limits<std::size_t>::max());
  return r;
}

RunEvidence::Replay RunEvidence::replayVif(std::string const& vrf, std::string const& ns, std::uint16_t index) const {
  auto const& family = af_ == Plix::AddressFamily::ipv6 ? Kernel::MrtFamily::ipv6() : Kernel::MrtFamily::ipv4();
  // The kernel drops a VIF whose device goes, without a call.
  std::vector<std::size_t> gone;
  if (auto n = vifsGone_.find(ns); n != vifsGone_.end() && n->second.contains(index)) gone = n->second.at(index);
  return replay(vrf, ns, gone, [&](std::size_t i, Call const& c, Replay& r) {
    if (kindOf(c) == CallKind::addVif && c.bytes.size() == family.vifSize) {
      auto const vif = family.readVif(c.bytes);
      if (vif.index != index) return;
      r.last = i;
      if (c.result >= 0) r.vif = vif.ifindex;
    }
    if (kindOf(c) == CallKind::delVif && c.bytes.size() == family.delVifSize &&
        Kernel::MrtFamily::readVifIndex(c.bytes) == index) {
      r.last = i;
      if (c.result >= 0) r.vif.reset();
    }
  });
}

RunEvidence::Replay RunEvidence::replayMfc(std::string const& vrf, std::string const& ns, Key const& key) const {
  auto const& family = af_ == Plix::AddressFamily::ipv6 ? Kernel::MrtFamily::ipv6() : Kernel::MrtFamily::ipv4();
  // The kernel keeps of an entry's outgoing VIFs those it holds when the entry is added.
  std::set<std::uint16_t> vifs;
  std::optional<std::size_t> cleared;
  std::size_t seen = 0;
  auto const gone = vifsGone_.find(ns);
  return replay(vrf, ns, {}, [&](std::size_t i, Call const& c, Replay& r) {
    if (r.cleared != cleared) vifs.clear();
    cleared = r.cleared;
    if (gone != vifsGone_.end()) {
      for (auto const& [v, at] : gone->second) {
        if (std::any_of(at.begin(), at.end(), [&](std::size_t p) { return p >= seen && p <= i; })) vifs.erase(v);
      }
    }
    seen = i + 1;
    auto const kind = kindOf(c);
    if (kind == CallKind::addVif && c.bytes.size() == family.vifSize && c.result >= 0) vifs.insert(family.readVif(c.bytes).index);
    if (kind == CallKind::delVif && c.bytes.size() == family.delVifSize && c.result >= 0) {
      vifs.erase(Kernel::MrtFamily::readVifIndex(c.bytes));
    }
    if ((kind != CallKind::addMfc && kind != CallKind::delMfc) || c.bytes.size() != family.mfcSize) return;
    auto const mfc = family.readMfc(c.bytes);
    if (mfc.source != key.source || mfc.group != key.group) return;
    r.last = i;
    if (c.result < 0) return;
    if (kind == CallKind::delMfc) return r.entry.reset();
    Entry e{mfc.iif, {}};
    for (auto v : mfc.oifs) {
      if (vifs.contains(v)) e.oifs.insert(v);
    }
    r.entry = e;
  });
}

bool RunEvidence::mine(std::size_t call, std::string const& vrf) const {
  auto it = callers_.find(call);
  return it == callers_.end() || it->second == vrf;
}

std::string RunEvidence::machineCase(std::string const& vrf, std::string const& ns) const {
  std::optional<std::size_t> opened, started, removed;
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    if (owners_[i] != ns || !mine(i, vrf)) continue;
    if (calls()[i].kind == CallKind::socket) opened = i;
    if (calls()[i].kind == CallKind::start) started = i;
  }
  if (namespaceRemovals_.contains(ns)) removed = namespaceRemovals_.at(ns).back();
  if (removed && opened && !since(opened, *removed)) {
    return "namespace removed: the machine's socket stays in the namespace that was removed and is never opened "
           "again";
  }
  // With another machine's socket routing in the namespace, the refusal is that machine's doing.
  if (started && calls()[*started].result < 0 && !after(opened, started) && !liveStart(ns)) {
    return "start failed: starting multicast routing failed with " + errnoOf(calls()[*started]) +
           "; the socket stays open without it and nothing starts it again";
  }
  return "";
}

std::string RunEvidence::restartCase(std::string const& vrf, std::string const& ns, std::uint16_t index) const {
  if (restarts_.empty()) return "";
  auto const r = replayVif(vrf, ns, index);
  // The close came with the last restart, after the VIF's last registration.
  if (r.vif || !r.cleared || *r.cleared < restarts_.back() || after(r.last, r.cleared)) return "";
  auto const& c = calls()[*r.cleared];
  if (c.kind != CallKind::close) return "";
  return "restart: the old socket's close emptied the kernel, the status kept its registrations and the new "
         "machine does not register them again";
}

std::string RunEvidence::vifCase(std::string const& vrf, std::string const& ns, std::uint16_t index, std::optional<std::uint32_t> wanted,
                                 std::optional<std::uint32_t> held) const {
  if (auto e = machineCase(vrf, ns); !e.empty()) return e;
  auto const r = replayVif(vrf, ns, index);
  if (r.last && calls()[*r.last].result < 0 && !after(r.ownCleared, r.last) && r.vif == held && held != wanted) {
    auto const& c = calls()[*r.last];
    if (r.beforeOpen) {
      return "before open: the last " + std::string(Kernel::callKindName(kindOf(c))) + " of VIF " + std::to_string(index) +
             " went to the descriptor of a socket that had failed to open; a registered interface is not sent again";
    }
    if (index == 0) {
      return "failed call: adding the Register VIF failed with " + errnoOf(c) + "; the socket set-up does not try it again";
    }
    return "failed call: the last " + std::string(Kernel::callKindName(kindOf(c))) + " of VIF " + std::to_string(index) +
           " failed with " + errnoOf(c) + "; a registered interface is not sent again, nor a refused delete after its index is reused";
  }
  if (wanted && !held) return restartCase(vrf, ns, index);
  return "";
}

bool RunEvidence::lostAfter(std::string const& vrf, std::string const& ns, std::uint16_t vif,
                            std::optional<std::size_t> call) const {
  // The kernel lost the VIF, or the machine withdrew its registration (whatever the kernel
  // answered the delete), after the call.
  auto n = vifsGone_.find(ns);
  if (n != vifsGone_.end() && n->second.contains(vif)) {
    auto const& gone = n->second.at(vif);
    if (std::any_of(gone.begin(), gone.end(), [&](std::size_t at) { return !call || at > *call; })) return true;
  }
  auto const& family = af_ == Plix::AddressFamily::ipv6 ? Kernel::MrtFamily::ipv6() : Kernel::MrtFamily::ipv4();
  for (std::size_t i = call ? *call + 1 : 0; i < owners_.size(); ++i) {
    auto const& c = calls()[i];
    if (owners_[i] == ns && mine(i, vrf) && kindOf(c) == CallKind::delVif && c.bytes.size() == family.delVifSize &&
        Kernel::MrtFamily::readVifIndex(c.bytes) == vif) {
      return true;
    }
  }
  return false;
}

std::string RunEvidence::mfcCase(std::string const& vrf, std::string const& ns, Key const& key, Entry const* expected,
                                 Entry const* held, std::set<std::uint16_t> const& missingVifs) const {
  if (auto e = machineCase(vrf, ns); !e.empty()) return e;
  auto const r = replayMfc(vrf, ns, key);
  std::optional<Entry> const kernelHas = held ? std::optional<Entry>(*held) : std::nullopt;
  std::set<std::uint16_t> differing;
  if (expected && held) {
    if (expected->iif != held->iif) {
      differing.insert(expected->iif);
      differing.insert(held->iif);
    }
    std::set_symmetric_difference(expected->oifs.begin(), expected->oifs.end(), held->oifs.begin(), held->oifs.end(),
                                  std::inserter(differing, differing.end()));
    differing.erase(0xffff);
  }
  // Every case below is the kernel holding what the agent's calls left there.
  if (r.entry != kernelHas) return "";
  if (r.last && r.beforeOpen && !after(r.ownCleared, r.last)) {
    return "before open: the last " + std::string(Kernel::callKindName(kindOf(calls()[*r.last]))) +
           " of the key went to the descriptor of a socket that had failed to open; the open that follows reviews no "
           "route";
  }
  if (r.last && calls()[*r.last].result < 0 && !after(r.ownCleared, r.last)) {
    return std::string("failed call: the last ") + std::string(Kernel::callKindName(kindOf(calls()[*r.last]))) +
           " of the key failed with " + errnoOf(calls()[*r.last]) + " and nothing asked for the key again";
  }
  if (!differing.empty()) {
    bool const lost = std::any_of(differing.begin(), differing.end(), [&](std::uint16_t v) { return lostAfter(vrf, ns, v, r.last); });
    bool const explained = std::all_of(differing.begin(), differing.end(), [&](std::uint16_t v) {
      return missingVifs.contains(v) || lostAfter(vrf, ns, v, r.last);
    });
    if (explained && lost) {
      return "VIF removed: the entry was programmed while its VIFs were others; a VIF that goes does not re-review "
             "the routes that used it";
    }
    if (explained) {
      return "missing VIF: the entry names VIFs the kernel lacks for a case of their own, and the kernel keeps only "
             "the VIFs it holds";
    }
  }
  auto removals = tableRemovals_.find(vrf);
  if (removals != tableRemovals_.end() && removals->second.contains(key) &&
      !since(r.last, removals->second.at(key))) {
    return "removed table: the table that held the key's best route or its last change went before a review reached "
           "the key, and a table that goes has its keys reviewed neither then nor later";
  }
  auto walks = abandonedWalks_.find(vrf);
  if (walks != abandonedWalks_.end() && after(walks->second.back(), r.last)) {
    return "lost bookmark: a table went while a walk stood on it, and the walk's remaining routes were not reviewed";
  }
  return "";
}

std::string RunEvidence::heldBackCase(std::string const& vrf, std::string const& ns,
                                      std::set<std::uint16_t> const& free) const {
  // Only a few indices can wait so: a sequence refuses a few deletes at most.
  if (free.empty() || free.size() > 8) return "";
  std::string error;
  for (auto v : free) {
    auto const r = replayVif(vrf, ns, v);
    // The agent counts a delete the kernel answers EADDRNOTAVAIL (no such VIF) as done.
    if (!r.last || kindOf(calls()[*r.last]) != CallKind::delVif || calls()[*r.last].result >= 0 ||
        calls()[*r.last].error == EADDRNOTAVAIL) {
      return "";
    }
    error = errnoOf(calls()[*r.last]);
  }
  return "delete pending: every index the bound leaves free waits for a refused delete of its VIF (" + error +
         ") to be retried, and the interface waits with it";
}

bool RunEvidence::heldBackAt(std::string const& ns, std::size_t mark) const {
  auto const& family = af_ == Plix::AddressFamily::ipv6 ? Kernel::MrtFamily::ipv6() : Kernel::MrtFamily::ipv4();
  std::set<std::uint16_t> pending;
  std::optional<int> started;
  std::vector<std::size_t> removals;
  if (auto n = namespaceRemovals_.find(ns); n != namespaceRemovals_.end()) removals = n->second;
  for (std::size_t i = 0; i < std::min(mark, owners_.size()); ++i) {
    if (std::find(removals.begin(), removals.end(), i) != removals.end()) pending.clear();
    if (owners_[i] != ns) continue;
    auto const& c = calls()[i];
    auto const kind = kindOf(c);
    if (kind == CallKind::start && c.result >= 0) started = c.fd;
    if (kind == CallKind::close && started == c.fd) pending.clear();
    if (kind == CallKind::addVif && c.bytes.size() == family.vifSize && c.result >= 0) {
      pending.erase(family.readVif(c.bytes).index);
    }
    if (kind != CallKind::delVif || c.bytes.size() != family.delVifSize) continue;
    auto const index = Kernel::MrtFamily::readVifIndex(c.bytes);
    if (c.result < 0 && c.error != EADDRNOTAVAIL) {
      pending.insert(index);
    } else {
      pending.erase(index);
    }
  }
  return !pending.empty();
}

std::string RunEvidence::limitCase(std::string const& ns, std::string const& path, std::uint32_t held) const {
  std::optional<std::size_t> last;
  std::string value = "0";  // a namespace starts with nothing written
  auto const& removals = namespaceRemovals_.contains(ns) ? namespaceRemovals_.at(ns) : std::vector<std::size_t>{};
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    if (std::find(removals.begin(), removals.end(), i) != removals.end()) value = "0";
    auto const& c = calls()[i];
    if (c.kind != CallKind::procWrite || c.ns.str() != ns || c.path != path) continue;
    last = i;
    if (c.result >= 0) value.assign(c.bytes.begin(), c.bytes.end());
  }
  if (!removals.empty() && removals.back() >= owners_.size()) value = "0";
  if (!last || calls()[*last].result >= 0 || value != std::to_string(held)) return "";
  return "failed write: the last write of " + path + " failed with " + errnoOf(calls()[*last]) +
         "; the namespace keeps the limit written before until the attribute changes again";
}

void RunEvidence::callerIs(std::string_view context) {
  if (context.starts_with("vrf=")) callers_[calls().size()] = std::string(context.substr(4));
}

std::optional<std::size_t> RunEvidence::liveStart(std::string const& ns) const {
  std::optional<std::size_t> started;
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    if (owners_[i] != ns) continue;
    auto const& c = calls()[i];
    if (c.kind == CallKind::start && c.result >= 0) started = i;
    if (c.kind == CallKind::close && started && calls()[*started].fd == c.fd) started.reset();
  }
  if (started && namespaceRemovals_.contains(ns) && namespaceRemovals_.at(ns).back() > *started) return std::nullopt;
  return started;
}

std::optional<std::string> RunEvidence::routingOwner(std::string const& ns) const {
  auto const started = liveStart(ns);
  if (!started || !callers_.contains(*started)) return std::nullopt;
  return callers_.at(*started);
}

std::string RunEvidence::sharedCase(std::string const& vrf, std::string const& ns) const {
  auto const owner = routingOwner(ns);
  if (!owner || *owner == vrf) return "";
  // The VRF's own last start in the namespace was refused, the owner's socket already routing.
  std::optional<std::size_t> start;
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    if (owners_[i] == ns && calls()[i].kind == CallKind::start && callers_.contains(i) && callers_.at(i) == vrf) start = i;
  }
  if (!start || calls()[*start].result >= 0) return "";
  return "shared namespace: VRF " + vrf + "'s start failed with " + errnoOf(calls()[*start]) + " because VRF " + *owner +
         "'s socket holds the namespace's multicast routing; a namespace's kernel mirrors one VRF";
}

std::string RunEvidence::statusCase(std::string const& vrf) const {
  if (!orphans_.contains(vrf)) return "";
  return "restart: a VRF that lost its configuration while no agent ran keeps the status the old machine published, "
         "and no machine comes to remove it";
}

}  // namespace ModelCheck
