#include "kernel/KernelRecordPrinter.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace Kernel {

namespace {

char const* onOff(bool on) { return on ? "on" : "off"; }

int afNumber(Plix::AddressFamily af) { return af == Plix::AddressFamily::ipv6 ? 6 : 4; }

char const* flagsName(NamespaceSnapshot::VifFlags flags) {
  switch (flags) {
    case NamespaceSnapshot::VifFlags::registerVif: return "register";
    case NamespaceSnapshot::VifFlags::useIfindex: return "use-ifindex";
    case NamespaceSnapshot::VifFlags::none: break;
  }
  return "none";
}

std::string addressText(Plix::AddressFamily af, NamespaceSnapshot::Address const& address) {
  char text[INET6_ADDRSTRLEN] = {};
  int const domain = af == Plix::AddressFamily::ipv6 ? AF_INET6 : AF_INET;
  inet_ntop(domain, address.data(), text, sizeof text);
  return text;
}

template <class T, class Key>
std::vector<T const*> sortedBy(std::vector<T> const& items, Key key) {
  std::vector<T const*> sorted;
  sorted.reserve(items.size());
  for (auto const& item : items) sorted.push_back(&item);
  std::sort(sorted.begin(), sorted.end(),
            [&](T const* a, T const* b) { return key(*a) < key(*b); });
  return sorted;
}

}  // namespace

void printKernelRecords(std::ostream& os, std::vector<NamespaceSnapshot> const& snapshots) {
  auto const namespaces = sortedBy(snapshots, [](auto const& s) { return s.ns; });
  for (auto const* s : namespaces) {
    os << "netns ns=" << s->ns << " socket=" << (s->socketOpen ? "open" : "closed")
       << " mrt=" << onOff(s->mrtOn) << " pim=" << onOff(s->pimOn)
       << " unresolved-entries=" << s->unresolvedEntries
       << " unresolved-buffers=" << s->unresolvedBuffers << '\n';
  }
  for (auto const* s : namespaces) {
    auto byKey = [](auto const& v) { return std::tie(v.af, v.index); };
    for (auto const* vif : sortedBy(s->vifs, byKey)) {
      os << "vif ns=" << s->ns << " af=" << afNumber(vif->af) << " index=" << vif->index
         << " ifindex=" << vif->ifindex << " flags=" << flagsName(vif->flags)
         << " threshold=" << unsigned{vif->threshold} << '\n';
    }
  }
  for (auto const* s : namespaces) {
    auto byKey = [](auto const& m) { return std::tie(m.af, m.source, m.group); };
    for (auto const* mfc : sortedBy(s->mfcs, byKey)) {
      os << "mfc ns=" << s->ns << " af=" << afNumber(mfc->af)
         << " source=" << addressText(mfc->af, mfc->source)
         << " group=" << addressText(mfc->af, mfc->group) << " iif=" << mfc->iif << " oifs=";
      if (mfc->oifs.empty()) os << '-';
      for (std::size_t i = 0; i < mfc->oifs.size(); ++i) os << (i ? "," : "") << mfc->oifs[i];
      os << '\n';
    }
  }
}

void printCounterRecords(std::ostream& os, std::vector<MfcCounter> const& counters) {
  auto byKey = [](auto const& c) { return std::tie(c.ns, c.af, c.source, c.group); };
  for (auto const* c : sortedBy(counters, byKey)) {
    os << "counter ns=" << c->ns << " af=" << afNumber(c->af)
       << " source=" << addressText(c->af, c->source)
       << " group=" << addressText(c->af, c->group) << " packets=" << c->packets
       << " bytes=" << c->bytes << " wrong-if=" << c->wrongIf << '\n';
  }
}

}  // namespace Kernel
