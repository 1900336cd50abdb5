#include "tools/modelcheck/Generator.h"

#include <array>
#include <sstream>

#include "tools/kmfibd/StatementParser.h"

namespace ModelCheck {

namespace {

std::array<std::string, 3> const namespaces{"ns1", "ns2", "ns3"};
std::array<std::string, 3> const vrfNames{"default", "red", "blue"};
std::array<std::string, 3> const apps{"pim", "igmp", "msdp"};
std::array<std::string, 3> const tableNames{"t1", "t2", "t3"};
std::array<std::string, 4> const intfNames{"Ethernet1", "Ethernet2", "Ethernet3", "Ethernet4"};
std::array<std::string, 4> const devices{"eth1", "eth2", "eth3", "eth4"};
std::array<std::string, 7> const routeIntfs{"Ethernet1", "Ethernet2", "Ethernet3", "Ethernet4",
                                            "Ethernet1", "Null0",     "Register0"};

struct FaultKind {
  char const* call;
  std::vector<char const*> errnos;
};
// Each call with errors the kernel answers it with.
std::array<FaultKind, 8> const faults{{
    {"socket", {"ENOMEM", "EMFILE", "ENOBUFS"}},
    {"start", {"EADDRINUSE"}},
    {"pim", {"EINVAL"}},
    {"add-vif", {"ENOBUFS", "EADDRINUSE", "ENFILE"}},
    {"del-vif", {"EACCES"}},
    {"add-mfc", {"ENOBUFS", "ENOMEM", "ENFILE"}},
    {"del-mfc", {"ENOENT"}},
    {"proc-write", {"EACCES"}},
}};

}  // namespace

Generator::Generator(std::uint64_t seed, Plix::AddressFamily af)
    : state_(seed * 0x9e3779b97f4a7c15ull + 0x2545f4914f6cdd1dull), af_(af), model_(af) {}

// splitmix64: the same numbers on every platform, unlike the standard distributions.
std::uint64_t Generator::next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

void Generator::emit(std::vector<std::string>& out, std::string const& line) {
  if (line.empty()) return;
  auto statement = Kmfibd::StatementParser(af_).parse(line);
  if (!statement) return;
  model_.apply(*statement);
  out.push_back(line);
}

std::vector<std::string> Generator::script(int length) {
  std::vector<std::string> out;
  // A start that makes the interesting cases likely: devices, interfaces, a configuration.
  emit(out, "netns ns1");
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (chance(80)) emit(out, "link default " + devices[i] + " " + std::to_string(11 + i));
    if (chance(70)) emit(out, "link ns1 " + devices[i] + " " + std::to_string(11 + i));
    if (chance(85)) emit(out, "intf " + intfNames[i] + " " + devices[i]);
  }
  emit(out, chance(60) ? "config default" : "config default max " + std::to_string(2 + below(4)));
  emit(out, "table default " + pick(tableNames));
  for (int i = 0; i < 3; ++i) emit(out, requestStatement());
  while (static_cast<int>(out.size()) < length) emit(out, one());
  return out;
}

std::string Generator::one() {
  std::size_t const roll = below(100);
  if (roll < 12) return platformStatement();
  if (roll < 20) return vrfStatement();
  if (roll < 27) return configStatement();
  if (roll < 43) return requestStatement();
  if (roll < 50) return tableStatement();
  if (roll < 74) return routeStatement();
  if (roll < 87) {
    static std::array<char const*, 6> const spans{"0.05", "0.3", "1", "2.5", "6", "12"};
    return std::string("advance ") + pick(spans);
  }
  if (roll < 89) return "restart";
  return faultStatement();
}

std::string Generator::platformStatement() {
  std::size_t const roll = below(10);
  std::string const ns = chance(25) ? std::string("default") : pick(namespaces);
  bool const exists = model_.namespaces().contains(ns);
  if (roll < 2) {
    if (!exists) return "netns " + ns;
    if (ns == "default") return "";
    return "no netns " + ns;
  }
  if (roll < 7) {
    if (!exists) return "netns " + ns;
    std::size_t const i = below(devices.size());
    auto const links = model_.links(ns);
    if (links.contains(devices[i]) && chance(50)) return "no link " + ns + " " + devices[i];
    // Now and then a device comes back under another index.
    std::uint32_t const index = static_cast<std::uint32_t>((chance(20) ? 21 : 11) + i);
    return "link " + ns + " " + devices[i] + " " + std::to_string(index);
  }
  std::string const& intf = pick(intfNames);
  if (model_.intfs().contains(intf) && chance(35)) return "no intf " + intf;
  return "intf " + intf + " " + pick(devices);
}

// Whether a VRF other than `vrf` holds the namespace, by its status or by its machine.
bool Generator::claimed(std::string const& ns, std::string const& vrf) const {
  for (auto const& [other, otherNs] : model_.vrfs()) {
    if (other != vrf && otherNs == ns) return true;
  }
  for (auto const& [other, machine] : model_.machines()) {
    if (other != vrf && machine.ns == ns) return true;
  }
  return false;
}

std::string Generator::vrfStatement() {
  std::string const vrf = chance(50) ? "red" : "blue";
  if (model_.vrfs().contains(vrf) && chance(20)) return "no vrf " + vrf;
  if (chance(12)) return "vrf " + vrf;
  std::string const ns = chance(10) ? std::string("default") : pick(namespaces);
  // Now and then two VRFs meet in one namespace, where only one socket can route.
  if (claimed(ns, vrf) && !chance(40)) return "";
  return "vrf " + vrf + " netns " + ns;
}

std::string Generator::configStatement() {
  std::string const& vrf = pick(vrfNames);
  // The default VRF's machine outlives its configuration; less often, so that it has one
  // most of the time.
  if (model_.configs().contains(vrf) && chance(vrf == "default" ? 10 : 25)) return "no config " + vrf;
  std::string line = "config " + vrf;
  if (chance(60)) line += " max " + std::to_string(chance(15) ? below(2) : 2 + below(4));
  if (chance(20)) line += " unresolved-entries " + std::to_string(below(20));
  if (chance(20)) line += " unresolved-buffers " + std::to_string(below(20));
  return line;
}

std::string Generator::requestStatement() {
  std::string const& app = pick(apps);
  std::string const& vrf = pick(vrfNames);
  std::string const& intf = pick(intfNames);
  auto const& requests = model_.requests();
  auto a = requests.find(app);
  bool const hasApp = a != requests.end();
  bool const hasVrf = hasApp && a->second.contains(vrf);
  bool const hasIntf = hasVrf && a->second.at(vrf).contains(intf);
  std::size_t const roll = below(100);
  if (roll < 15 && hasIntf) return "no request " + app + " " + vrf + " " + intf;
  if (roll < 20 && hasVrf) return "no request " + app + " " + vrf;
  if (roll < 23 && hasApp) return "no request " + app;
  return "request " + app + " " + vrf + " " + intf + (chance(12) ? " off" : "");
}

std::string Generator::tableStatement() {
  std::string const& vrf = pick(vrfNames);
  std::string const& table = pick(tableNames);
  auto const& tables = model_.tables();
  bool const exists = tables.contains(vrf) && tables.at(vrf).contains(table);
  if (exists && chance(30)) return "no table " + vrf + " " + table;
  std::string line = "table " + vrf + " " + table;
  if (chance(60)) line += " preference " + std::string(chance(50) ? "10" : "100");
  return line;
}

std::string Generator::key() {
  static std::array<char const*, 4> const v4Sources{"*", "10.0.0.1", "10.0.0.2", "10.0.0.3"};
  static std::array<char const*, 2> const v4Groups{"239.1.1.1", "239.1.1.2"};
  static std::array<char const*, 4> const v6Sources{"*", "2001:db8::1", "2001:db8::2", "2001:db8::3"};
  static std::array<char const*, 2> const v6Groups{"ff0e::1", "ff0e::2"};
  bool const v6 = af_ == Plix::AddressFamily::ipv6;
  std::string source = v6 ? pick(v6Sources) : pick(v4Sources);
  if (source == "*" && chance(70)) source = v6 ? "2001:db8::1" : "10.0.0.1";
  return source + " " + (v6 ? pick(v6Groups) : pick(v4Groups));
}

std::string Generator::routeStatement() {
  auto const& tables = model_.tables();
  if (tables.empty()) return tableStatement();
  // Mostly the tables of VRFs that have a machine: those reach the kernel.
  auto chosen = tables.begin();
  std::advance(chosen, static_cast<long>(below(tables.size())));
  for (int i = 0; i < 3 && !model_.machines().contains(chosen->first); ++i) {
    chosen = tables.begin();
    std::advance(chosen, static_cast<long>(below(tables.size())));
  }
  auto const& [vrf, vrfTables] = *chosen;
  auto const& [table, content] = pick(vrfTables);
  if (!content.routes.empty() && chance(20)) {
    // Withdraw one that is there, if a few tries find one.
    for (int i = 0; i < 8; ++i) {
      std::string const line = "no route " + vrf + " " + table + " " + key();
      auto const s = Kmfibd::StatementParser(af_).parse(line);
      if (content.routes.contains(ReferenceModel::keyOf(s->key))) return line;
    }
  }
  std::ostringstream line;
  line << "route " << vrf << " " << table << " " << key();
  if (chance(85)) line << " iif " << pick(routeIntfs);
  std::size_t const oifs = below(4);
  if (oifs) {
    line << " oif ";
    for (std::size_t i = 0; i < oifs; ++i) line << (i ? "," : "") << pick(routeIntfs);
  }
  if (chance(12)) line << " iif-register";
  if (chance(12)) line << " oif-register";
  if (chance(12)) line << " switching";
  return line.str();
}

std::string Generator::faultStatement() {
  std::string const ns = chance(40) ? std::string("default") : pick(namespaces);
  if (!model_.namespaces().contains(ns)) return "";
  auto const& kind = pick(faults);
  std::string line = std::string("fault ") + ns + " " + kind.call + " " + pick(kind.errnos);
  if (chance(30)) line += " count " + std::to_string(2 + below(2));
  return line;
}

}  // namespace ModelCheck
