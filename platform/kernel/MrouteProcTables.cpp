#include "kernel/MrouteProcTables.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kernel/MrtFamily.h"
#include "kernel/NetNsEntry.h"

namespace Kernel {

namespace {

using Plix::AddressFamily;

constexpr std::uint32_t vifRegister4 = 0x04;
constexpr std::uint32_t vifUseIfindex4 = 0x08;
constexpr std::uint32_t mifRegister6 = 0x01;

std::string readFile(std::string const& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (true) {
    i = line.find_first_not_of(" \t\n", i);
    if (i == std::string_view::npos) return result;
    std::size_t const end = std::min(line.find_first_of(" \t\n", i), line.size());
    result.push_back(line.substr(i, end - i));
    i = end;
  }
}

// Every line after the heading.
template <class Fn>
void forEachRow(std::string_view text, Fn fn) {
  bool heading = true;
  while (!text.empty()) {
    std::size_t const end = std::min(text.find('\n'), text.size());
    std::string_view const line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (heading) {
      heading = false;
      continue;
    }
    auto const w = words(line);
    if (!w.empty()) fn(w);
  }
}

template <class T>
std::optional<T> number(std::string_view text, int base = 10) {
  T value{};
  auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// IPv4 addresses are printed as the hexadecimal of the 32-bit word holding the network-order
// bytes, so the word read back in host order gives back the bytes.
std::optional<NamespaceSnapshot::Address> address(AddressFamily af, std::string_view text) {
  NamespaceSnapshot::Address a{};
  if (af == AddressFamily::ipv4) {
    auto const word = number<std::uint32_t>(text, 16);
    if (!word || text.size() != 8) return std::nullopt;
    std::memcpy(a.data(), &*word, sizeof *word);
    return a;
  }
  std::string const s(text);
  if (inet_pton(AF_INET6, s.c_str(), a.data()) != 1) return std::nullopt;
  return a;
}

std::optional<MrouteProcTables::CacheLine> cacheLine(AddressFamily af,
                                                     std::vector<std::string_view> const& w) {
  if (w.size() < 6) return std::nullopt;
  MrouteProcTables::CacheLine line;
  line.mfc.af = af;
  auto const group = address(af, w[0]);
  auto const source = address(af, w[1]);
  auto const parent = number<int>(w[2]);
  auto const packets = number<std::uint64_t>(w[3]);
  auto const bytes = number<std::uint64_t>(w[4]);
  auto const wrongIf = number<std::uint64_t>(w[5]);
  if (!group || !source || !parent || !packets || !bytes || !wrongIf) return std::nullopt;
  line.mfc.group = *group;
  line.mfc.source = *source;
  line.mfc.iif = *parent < 0 ? unresolvedParent : std::uint16_t(*parent);
  line.packets = *packets;
  line.bytes = *bytes;
  line.wrongIf = *wrongIf;
  for (std::size_t i = 6; i < w.size(); ++i) {
    auto const vif = number<std::uint16_t>(w[i].substr(0, w[i].find(':')));
    if (!vif) return std::nullopt;
    line.mfc.oifs.push_back(*vif);
  }
  std::sort(line.mfc.oifs.begin(), line.mfc.oifs.end());
  return line;
}

bool forwarding(char const* path) {
  std::string const text = readFile(path);
  auto const w = words(text);
  auto const value = w.empty() ? std::nullopt : number<int>(w[0]);
  return value && *value != 0;
}

// The PIM switch of the namespace's table, asked on a raw socket of the family's routing
// protocol of our own: any such socket may read it, not only the one that started routing.
bool pimOn(int domain, int protocol, int level) {
  int const fd = ::socket(domain, SOCK_RAW | SOCK_CLOEXEC, protocol);
  if (fd < 0) return false;
  int on = 0;
  socklen_t len = sizeof on;
  bool const read = ::getsockopt(fd, level, mrtPim, &on, &len) == 0;
  ::close(fd);
  return read && on != 0;
}

}  // namespace

std::vector<MrouteProcTables::VifLine> MrouteProcTables::parseVifs(std::string_view text) {
  std::vector<VifLine> result;
  forEachRow(text, [&](std::vector<std::string_view> const& w) {
    if (w.size() < 7) return;
    auto const index = number<std::uint16_t>(w[0]);
    auto const flags = number<std::uint32_t>(w[6], 16);
    if (index && flags) result.push_back({*index, std::string(w[1]), *flags});
  });
  return result;
}

NamespaceSnapshot::Vif MrouteProcTables::vifOf(AddressFamily af, VifLine const& line,
                                               std::uint32_t ifindex) {
  NamespaceSnapshot::Vif vif{.af = af, .index = line.index};
  bool const v4 = af == AddressFamily::ipv4;
  if (line.flags & (v4 ? vifRegister4 : mifRegister6)) {
    vif.flags = NamespaceSnapshot::VifFlags::registerVif;
    return vif;
  }
  vif.ifindex = ifindex;
  if (v4 && (line.flags & vifUseIfindex4)) vif.flags = NamespaceSnapshot::VifFlags::useIfindex;
  return vif;
}

std::vector<MrouteProcTables::CacheLine> MrouteProcTables::parseCache(AddressFamily af,
                                                                      std::string_view text) {
  std::vector<CacheLine> result;
  forEachRow(text, [&](std::vector<std::string_view> const& w) {
    if (auto line = cacheLine(af, w)) result.push_back(std::move(*line));
  });
  return result;
}

bool MrouteProcTables::rawSocketOpen(std::string_view text, int protocol) {
  bool open = false;
  forEachRow(text, [&](std::vector<std::string_view> const& w) {
    if (w.size() < 2) return;
    std::string_view const local = w[1];
    auto const port = number<int>(local.substr(local.find(':') + 1), 16);
    open |= local.find(':') != std::string_view::npos && port == protocol;
  });
  return open;
}

std::vector<Plix::NamespaceName> MrouteProcTables::namespaces() {
  std::vector<Plix::NamespaceName> names{Plix::NamespaceName::defaultNamespace()};
  DIR* dir = ::opendir("/run/netns");
  if (!dir) return names;
  while (dirent const* entry = ::readdir(dir)) {
    std::string const name = entry->d_name;
    if (name == "." || name == ".." || name.size() > Plix::NamespaceName::maxLength) continue;
    if (name != Plix::NamespaceName::defaultNamespace()) names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<MrouteProcTables::Tables> MrouteProcTables::read(Plix::NamespaceName const& ns) {
  NetNsEntry const entry(ns);
  if (entry.error()) return std::nullopt;
  Tables tables;
  NamespaceSnapshot& s = tables.snapshot;
  s.ns = ns;
  s.socketOpen = rawSocketOpen(readFile("/proc/thread-self/net/raw"), IPPROTO_IGMP) ||
                 rawSocketOpen(readFile("/proc/thread-self/net/raw6"), IPPROTO_ICMPV6);
  bool const on4 = forwarding("/proc/sys/net/ipv4/conf/all/mc_forwarding");
  bool const on6 = forwarding("/proc/sys/net/ipv6/conf/all/mc_forwarding");
  s.mrtOn = on4 || on6;
  // After the raw sockets are listed: the probes are raw sockets too. The kernel keeps the
  // switch after routing stops, when it means nothing.
  s.pimOn = (on4 && pimOn(AF_INET, IPPROTO_IGMP, IPPROTO_IP)) ||
            (on6 && pimOn(AF_INET6, IPPROTO_ICMPV6, IPPROTO_IPV6));
  struct File {
    AddressFamily af;
    char const* vifs;
    char const* cache;
  };
  for (File const& f : {File{AddressFamily::ipv4, "ip_mr_vif", "ip_mr_cache"},
                        File{AddressFamily::ipv6, "ip6_mr_vif", "ip6_mr_cache"}}) {
    std::string const dir = "/proc/thread-self/net/";
    for (VifLine const& line : parseVifs(readFile(dir + f.vifs))) {
      s.vifs.push_back(vifOf(f.af, line, ::if_nametoindex(line.dev.c_str())));
    }
    for (CacheLine& line : parseCache(f.af, readFile(dir + f.cache))) {
      tables.counters.push_back({.ns = ns,
                                 .af = f.af,
                                 .source = line.mfc.source,
                                 .group = line.mfc.group,
                                 .packets = line.packets,
                                 .bytes = line.bytes,
                                 .wrongIf = line.wrongIf});
      s.mfcs.push_back(std::move(line.mfc));
    }
  }
  return tables;
}

}  // namespace Kernel
