#include "kernel/SimKernel.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace Kernel {

namespace {

constexpr unsigned long fionbio = 0x5421;
constexpr std::size_t maxDeviceName = 15;

std::string const entriesPath = "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit";
std::string const buffersPath = "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit";

std::invalid_argument noNetns(Plix::NamespaceName const& ns) {
  return std::invalid_argument("no network namespace " + ns.str());
}

// Unsigned 32-bit decimal, as the kernel parses the file; one trailing newline is allowed.
std::optional<std::uint32_t> parseLimit(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  std::uint32_t value = 0;
  auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

SimKernel::SimKernel() { netnsIs(Plix::NamespaceName::defaultNamespace()); }

SimKernel::~SimKernel() = default;

bool SimKernel::Namespace::hasIfindex(std::uint32_t ifindex) const {
  return std::any_of(links.begin(), links.end(),
                     [&](auto const& l) { return l.second == ifindex; });
}

void SimKernel::netnsIs(Plix::NamespaceName const& ns) {
  if (ns.empty()) throw std::invalid_argument("network namespace name is empty");
  if (namespaces_.contains(ns)) return;
  auto created = std::make_shared<Namespace>();
  created->name = ns;
  namespaces_.emplace(ns, std::move(created));
  changed(ns);
}

void SimKernel::netnsDel(Plix::NamespaceName const& ns) {
  if (ns.isDefault())
    throw std::invalid_argument("the default network namespace cannot be removed");
  if (!namespaces_.erase(ns)) throw noNetns(ns);
  changed(ns);
}

bool SimKernel::netns(Plix::NamespaceName const& ns) const { return namespaces_.contains(ns); }

std::vector<Plix::NamespaceName> SimKernel::netnsNames() const {
  std::vector<Plix::NamespaceName> names;
  for (auto const& [name, ns] : namespaces_) names.push_back(name);
  return names;
}

SimKernel::Namespace& SimKernel::existing(Plix::NamespaceName const& ns) const {
  auto it = namespaces_.find(ns);
  if (it == namespaces_.end()) throw noNetns(ns);
  return *it->second;
}

void SimKernel::linkIs(Plix::NamespaceName const& ns, std::string const& dev,
                       std::uint32_t ifindex) {
  Namespace& n = existing(ns);
  if (dev.empty() || dev.size() > maxDeviceName || dev.find_first_of("/ ") != std::string::npos) {
    throw std::invalid_argument("invalid device name '" + dev + "'");
  }
  if (ifindex == 0 || ifindex > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) {
    throw std::invalid_argument("invalid interface index " + std::to_string(ifindex));
  }
  for (auto const& [other, index] : n.links) {
    if (index == ifindex && other != dev) {
      throw std::invalid_argument("interface index " + std::to_string(ifindex) + " is " + other +
                                  " in " + ns.str());
    }
  }
  auto it = n.links.find(dev);
  if (it != n.links.end() && it->second == ifindex) return;
  if (it != n.links.end()) linkDel(ns, dev);
  n.links.emplace(dev, ifindex);
  changed(ns, dev);
}

void SimKernel::linkDel(Plix::NamespaceName const& ns, std::string const& dev) {
  Namespace& n = existing(ns);
  auto it = n.links.find(dev);
  if (it == n.links.end()) throw std::invalid_argument("no device " + dev + " in " + ns.str());
  std::uint32_t const ifindex = it->second;
  n.links.erase(it);
  // The device going takes its VIFs with it; the MFC entries stay as they are.
  for (MrtTable& t : n.mrt) {
    std::vector<std::uint16_t> gone;
    for (auto const& [index, vif] : t.vifs) {
      if (vif.flags != NamespaceSnapshot::VifFlags::registerVif && vif.ifindex == ifindex) gone.push_back(index);
    }
    for (std::uint16_t index : gone) t.vifDel(index);
  }
  changed(ns, dev);
}

std::vector<SimKernel::Link> SimKernel::links(Plix::NamespaceName const& ns) const {
  std::vector<Link> result;
  for (auto const& [dev, ifindex] : existing(ns).links) result.push_back({dev, ifindex});
  return result;
}

std::optional<std::uint32_t> SimKernel::ifindex(Plix::NamespaceName const& ns, std::string const& dev) const {
  auto n = namespaces_.find(ns);
  if (n == namespaces_.end()) return std::nullopt;
  auto it = n->second->links.find(dev);
  if (it == n->second->links.end()) return std::nullopt;
  return it->second;
}

void SimKernel::changed(Plix::NamespaceName const& ns, std::string const& dev) const {
  if (changeHandler_) changeHandler_(ns, dev);
}

void SimKernel::faultIs(Plix::NamespaceName const& ns, CallKind kind, int error, unsigned count) {
  if (error <= 0) throw std::invalid_argument("a fault needs a positive errno");
  if (count == 0) throw std::invalid_argument("a fault needs a count of at least 1");
  faults_[{ns, kind}].push_back({error, count});
}

void SimKernel::faultDel(Plix::NamespaceName const& ns) {
  std::erase_if(faults_, [&](auto const& f) { return f.first.first == ns; });
}

int SimKernel::takeFault(Plix::NamespaceName const& ns, CallKind kind) {
  if (faults_.empty()) return 0;
  auto it = faults_.find({ns, kind});
  if (it == faults_.end()) return 0;
  Fault& fault = it->second.front();
  int const error = fault.error;
  if (--fault.remaining == 0) it->second.pop_front();
  if (it->second.empty()) faults_.erase(it);
  return error;
}

void SimKernel::charge() const {
  if (callHook_) callHook_();
}

int SimKernel::refusal(CallKind kind, Socket const& socket) {
  if (int const error = takeFault(socket.nsName, kind)) return error;
  return socket.ns.expired() ? ENOENT : 0;
}

int SimKernel::finish(Call& call, int error, int result) {
  call.result = error ? -1 : result;
  call.error = error;
  if (recording_) calls_.push_back(std::move(call));
  return answer(error, result);
}

int SimKernel::answer(int error, int result) {
  if (!error) return result;
  errno = error;
  return -1;
}

int SimKernel::lowestFreeFd() const {
  int fd = 3;
  for (auto const& [used, socket] : sockets_) {
    if (used != fd) break;
    ++fd;
  }
  return fd;
}

int SimKernel::socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) {
  charge();
  Call call{
      .kind = CallKind::socket, .ns = ns, .family = family, .type = type, .protocol = protocol};
  if (int const error = takeFault(ns, CallKind::socket)) return finish(call, error);
  auto it = namespaces_.find(ns);
  if (it == namespaces_.end()) return finish(call, ENOENT);
  MrtFamily const* mrtFamily = MrtFamily::forDomain(family);
  if (!mrtFamily) return finish(call, EAFNOSUPPORT);
  call.fd = lowestFreeFd();
  sockets_.emplace(call.fd, Socket{it->second, it->second.get(), ns, mrtFamily, type, protocol});
  return finish(call, 0, call.fd);
}

// The hot call (a million MFC adds): the record of the call is built only when kept.
int SimKernel::setsockopt(int fd, int level, int option, void const* value, socklen_t len) {
  charge();
  Bytes const bytes(static_cast<std::uint8_t const*>(value), value ? len : 0);
  auto it = sockets_.find(fd);
  Socket const* socket = it == sockets_.end() ? nullptr : &it->second;
  CallKind const kind = socket ? optionKind(*socket->family, level, option) : CallKind::other;
  int error = EBADF;
  if (socket) {
    error = refusal(kind, *socket);
    if (!error && !value && len > 0) error = EFAULT;
    // refusal() saw the namespace alive; nothing removes it before the option applies.
    if (!error) error = applyOption(*socket->live, *socket, fd, kind, level, bytes);
  }
  if (!recording_) return answer(error);
  Call call{.kind = kind, .fd = fd, .level = level, .option = option, .bytes = {bytes.begin(), bytes.end()}};
  if (socket) call.ns = socket->nsName;
  return finish(call, error);
}

int SimKernel::ioctl(int fd, unsigned long request, void* arg) {
  charge();
  Call call{.kind = request == fionbio ? CallKind::nonblock : CallKind::other,
            .fd = fd,
            .request = request};
  if (recording_ && arg && request == fionbio) {
    auto const* bytes = static_cast<std::uint8_t const*>(arg);
    call.bytes.assign(bytes, bytes + sizeof(int));
  }
  auto it = sockets_.find(fd);
  if (it == sockets_.end()) return finish(call, EBADF);
  call.ns = it->second.nsName;
  if (int const error = refusal(call.kind, it->second)) return finish(call, error);
  if (request != fionbio) return finish(call, ENOTTY);
  if (!arg) return finish(call, EFAULT);
  it->second.nonBlocking = *static_cast<int const*>(arg) != 0;
  return finish(call, 0);
}

int SimKernel::close(int fd) {
  charge();
  Call call{.kind = CallKind::close, .fd = fd};
  auto it = sockets_.find(fd);
  if (it == sockets_.end()) return finish(call, EBADF);
  call.ns = it->second.nsName;
  if (int const error = takeFault(call.ns, call.kind)) return finish(call, error);
  if (auto ns = it->second.ns.lock()) {
    MrtTable& t = table(*ns, *it->second.family);
    if (t.mrtFd == fd) flush(t);
  }
  sockets_.erase(it);
  return finish(call, 0);
}

int SimKernel::writeProcSys(std::string const& path, std::string const& value,
                            Plix::NamespaceName const& ns) {
  charge();
  Call call{.kind = CallKind::procWrite, .ns = ns, .path = path};
  if (recording_) call.bytes.assign(value.begin(), value.end());
  if (int const error = takeFault(ns, CallKind::procWrite)) return finish(call, error);
  auto it = namespaces_.find(ns);
  if (it == namespaces_.end()) return finish(call, ENOENT);
  Namespace& n = *it->second;
  std::uint32_t* limit = path == entriesPath   ? &n.unresolvedEntries
                         : path == buffersPath ? &n.unresolvedBuffers
                                               : nullptr;
  if (!limit) return finish(call, ENOENT);
  auto const parsed = parseLimit(value);
  if (!parsed) return finish(call, EINVAL);
  *limit = *parsed;
  return finish(call, 0);
}

std::vector<NamespaceSnapshot> SimKernel::snapshot(std::optional<Plix::NamespaceName> ns) const {
  std::vector<NamespaceSnapshot> result;
  for (auto const& [name, n] : namespaces_) {
    if (!ns || *ns == name) result.push_back(snapshotOf(*n));
  }
  return result;
}

std::vector<MfcCounter> SimKernel::counters(std::optional<Plix::NamespaceName> ns) const {
  std::vector<MfcCounter> result;
  for (NamespaceSnapshot const& s : snapshot(ns)) {
    for (NamespaceSnapshot::Mfc const& mfc : s.mfcs) {
      result.push_back({.ns = s.ns, .af = mfc.af, .source = mfc.source, .group = mfc.group});
    }
  }
  return result;
}

NamespaceSnapshot SimKernel::snapshotOf(Namespace const& ns) const {
  NamespaceSnapshot s{.ns = ns.name,
                      .unresolvedEntries = ns.unresolvedEntries,
                      .unresolvedBuffers = ns.unresolvedBuffers};
  for (auto const& [fd, socket] : sockets_) {
    s.socketOpen |= socket.ns.lock().get() == &ns && socket.type == SOCK_RAW &&
                    socket.protocol == socket.family->protocol;
  }
  for (std::size_t f = 0; f < ns.mrt.size(); ++f) {
    MrtTable const& t = ns.mrt[f];
    s.mrtOn |= t.mrtFd >= 0;
    s.pimOn |= t.pim;
    for (auto const& [index, vif] : t.vifs) s.vifs.push_back(vif);
    auto mfcs = t.mfcs.sorted(f == 1 ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4);
    s.mfcs.insert(s.mfcs.end(), std::make_move_iterator(mfcs.begin()), std::make_move_iterator(mfcs.end()));
  }
  return s;
}

}  // namespace Kernel
