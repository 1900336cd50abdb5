#include "tools/kmfibd/MrouteView.h"

#include <algorithm>
#include <set>

namespace Kmfibd {

namespace {

using Halm::Multicast::Fib::Route;

Plix::IntfId const& null0() {
  static Plix::IntfId const id("Null0");
  return id;
}

Plix::IntfId const& register0() {
  static Plix::IntfId const id("Register0");
  return id;
}

// The kernel keeps addresses only: the host prefixes of a key's two addresses.
std::pair<Plix::IpGenPrefix, Plix::IpGenPrefix> kernelKey(Plix::AddressFamily af, Plix::IpGenPrefix::Bytes const& source,
                                                          Plix::IpGenPrefix::Bytes const& group) {
  std::uint8_t const len = af == Plix::AddressFamily::ipv6 ? 128 : 32;
  return {Plix::IpGenPrefix(af, source, len), Plix::IpGenPrefix(af, group, len)};
}

std::string joined(std::vector<std::string> const& names) {
  if (names.empty()) return "-";
  std::string text;
  for (auto const& n : names) text += (text.empty() ? "" : ",") + n;
  return text;
}

}  // namespace

MrouteView::MrouteView(Plix::AddressFamily af, L3::VrfName vrf, Tables const& tables,
                       Routing::KernelMfib::Status const* vifs,
                       std::vector<Kernel::NamespaceSnapshot::Mfc> const& kernel)
    : af_(af), vrf_(std::move(vrf)), vifs_(vifs) {
  // The best route of a key: the first table in rank order that holds it.
  Tables ranked(tables);
  std::sort(ranked.begin(), ranked.end(), [](auto const& a, auto const& b) { return a->isPreferredTo(*b); });
  for (auto const& table : ranked) {
    for (auto const& key : *table) addRoute(*table, table->route(key));
  }
  for (auto const& mfc : kernel) {
    if (mfc.af != af_) continue;
    auto [it, fresh] = rows_.try_emplace(kernelKey(af_, mfc.source, mfc.group));
    Row& row = it->second;
    row.kernel = Entry{mfc.iif, mfc.oifs};
    if (row.fromTable) continue;
    row.iif = vifName(mfc.iif);
    std::vector<std::string> oifs;
    for (auto v : mfc.oifs) oifs.push_back(vifName(v));
    row.oifs = joined(oifs);
  }
}

void MrouteView::addRoute(Halm::Multicast::Fib::Status const& table, Route const& route) {
  auto const& key = route.key();
  // (*,G) keeps its own row; a host key shares the row of the kernel entry of its addresses.
  Key const at = key.isStarG() ? Key(key.source(), key.group())
                               : kernelKey(af_, key.source().address(), key.group().address());
  auto [it, fresh] = rows_.try_emplace(at);
  if (!fresh) return;  // a better table holds it
  Row& row = it->second;
  row.fromTable = true;
  row.table = table.name();
  bool const iifRegister = route.flags() & Route::iifRegister;
  row.iif = iifRegister ? "register" : route.iif().empty() ? "unresolved" : route.iif().name();
  std::vector<std::string> oifs;
  for (auto const& intf : route.intfs()) {
    if ((intf.bits & Route::isOif) && !(intf.bits & Route::isIif)) oifs.push_back(intf.intfId.name());
  }
  if (!iifRegister && (route.flags() & Route::oifRegister)) oifs.emplace_back("register");
  row.oifs = joined(oifs);
  row.expected = expectedEntry(route);
}

std::optional<MrouteView::Entry> MrouteView::expectedEntry(Route const& route) const {
  if (route.key().isStarG()) return std::nullopt;
  bool const iifRegister = route.flags() & Route::iifRegister;
  if (!route.iif().empty() && !iifRegister && (route.flags() & Route::switchingState)) return std::nullopt;
  if (route.iif() == null0()) return std::nullopt;
  Entry entry;
  std::set<std::uint16_t> oifs;
  for (auto const& intf : route.intfs()) {
    if (intf.intfId == null0() || intf.intfId == register0()) continue;
    auto const* vif = vifs_ ? vifs_->vifStatusColl.find(intf.intfId) : nullptr;
    if (!vif || *vif > 511) continue;
    if (intf.bits & Route::isIif) {
      entry.iif = *vif;
    } else if (intf.bits & Route::isOif) {
      oifs.insert(*vif);
    }
  }
  if (iifRegister) {
    entry.iif = 0;
  } else if (route.flags() & Route::oifRegister) {
    oifs.insert(0);
  }
  entry.oifs.assign(oifs.begin(), oifs.end());
  return entry;
}

std::string MrouteView::vifName(std::uint16_t vif) const {
  if (vif == 65535) return "unresolved";
  if (vif == 0) return "register";
  if (auto const* intf = vifs_ ? vifs_->intfIdColl.find(vif) : nullptr) return intf->name();
  return "vif" + std::to_string(vif);
}

char const* MrouteView::kernelState(Row const& row) {
  if (!row.fromTable) return "extra";
  if (!row.expected) return row.kernel ? "differs" : "skipped";
  if (!row.kernel) return "missing";
  return *row.kernel == *row.expected ? "match" : "differs";
}

void MrouteView::print(std::ostream& os, std::optional<Routing::Multicast::Fib::IpGenRouteKey> const& only) const {
  for (auto const& [key, row] : rows_) {
    auto const& [source, group] = key;
    if (only) {
      Key const wanted = only->isStarG() ? Key(only->source(), only->group())
                                         : kernelKey(af_, only->source().address(), only->group().address());
      if (key != wanted) continue;
    }
    os << "mroute vrf=" << vrf_ << " source=" << (source.len() == 0 ? std::string("*") : source.addressText())
       << " group=" << group.addressText() << " table=" << row.table << " iif=" << row.iif << " oifs=" << row.oifs
       << " kernel=" << kernelState(row) << "\n";
  }
}

}  // namespace Kmfibd
