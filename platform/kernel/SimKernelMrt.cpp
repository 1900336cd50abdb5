// The multicast-routing socket options of the simulated kernel: start and shutdown, PIM,
// VIFs and MFC entries, checked in the order the kernel checks them.

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "kernel/SimKernel.h"

namespace Kernel {

namespace {

using VifFlags = NamespaceSnapshot::VifFlags;

std::optional<int> intValue(std::span<std::uint8_t const> value) {
  if (value.size() != sizeof(int)) return std::nullopt;
  int v;
  std::memcpy(&v, value.data(), sizeof v);
  return v;
}

// An address is 4 bytes (IPv4) or all 16 (IPv6); copies of a fixed size are a move or
// two, not a call.
MfcStore::Address addressAt(std::span<std::uint8_t const> record, std::size_t offset, std::size_t size) {
  MfcStore::Address a{};
  if (size == 4) {
    std::memcpy(a.data(), record.data() + offset, 4);
  } else {
    std::memcpy(a.data(), record.data() + offset, a.size());
  }
  return a;
}

// One bit per byte of `ttls` (lowest byte, lowest bit) that lets packets out: neither 0 nor
// 255, which means "never forward", as for the kernel.
std::uint64_t forwardingTtls(std::uint64_t ttls) {
  constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7full, high = 0x8080808080808080ull;
  auto const nonZero = [](std::uint64_t x) { return (((x & low7) + low7) | x) & high; };
  std::uint64_t const forwards = nonZero(ttls) & nonZero(~ttls);
  // Gathers the high bit of byte k into bit 56 + k.
  return (forwards >> 7) * 0x0102040810204080ull >> 56;
}

// The outgoing VIFs of an MFC record among those that exist. Only the existing VIFs' parts
// of the record are read: a few bytes, not the whole outgoing table.
MfcStore::VifSet outgoing(MrtFamily const& family, std::span<std::uint8_t const> record,
                          MfcStore::VifSet const& existing) {
  MfcStore::VifSet out;
  std::uint8_t const* const oifs = record.data() + family.oifOffset;
  for (std::size_t i = 0; i < MfcStore::VifSet::words; ++i) {
    std::uint64_t const candidates = existing.word(i);
    if (!candidates) continue;
    if (family.oifBits) {
      std::uint32_t low, high;
      std::memcpy(&low, oifs + 8 * i, sizeof low);
      std::memcpy(&high, oifs + 8 * i + 4, sizeof high);
      out.wordIs(i, candidates & (std::uint64_t{high} << 32 | low));
      continue;
    }
    // Eight TTLs at a time, and only where a VIF exists: the chunks are found from the
    // lowest existing VIF up, not tried one by one.
    std::uint64_t word = 0;
    for (std::uint64_t left = candidates; left != 0;) {
      std::size_t const chunk = static_cast<std::size_t>(std::countr_zero(left)) / 8;
      std::uint64_t const wanted = (candidates >> (8 * chunk)) & 0xff;
      left &= ~(std::uint64_t{0xff} << (8 * chunk));
      std::uint64_t ttls;
      std::memcpy(&ttls, oifs + 64 * i + 8 * chunk, sizeof ttls);
      word |= (forwardingTtls(ttls) & wanted) << (8 * chunk);
    }
    out.wordIs(i, word);
  }
  return out;
}

}  // namespace

void SimKernel::MrtTable::vifIs(NamespaceSnapshot::Vif const& vif) {
  vifs.emplace(vif.index, vif);
  vifIndices.set(vif.index);
}

bool SimKernel::MrtTable::vifDel(std::uint16_t index) {
  if (!vifs.erase(index)) return false;
  vifIndices.reset(index);
  return true;
}

SimKernel::MrtTable& SimKernel::table(Namespace& ns, MrtFamily const& family) {
  return ns.mrt[family.af == Plix::AddressFamily::ipv6 ? 1 : 0];
}

CallKind SimKernel::optionKind(MrtFamily const& family, int level, int option) {
  if (level != family.level) return CallKind::other;
  if (option == family.startOption) return CallKind::start;
  switch (option) {
    case mrtDone: return CallKind::done;
    case mrtPim: return CallKind::pim;
    case mrtAddVif: return CallKind::addVif;
    case mrtDelVif: return CallKind::delVif;
    case mrtAddMfc: return CallKind::addMfc;
    case mrtDelMfc: return CallKind::delMfc;
    default: return CallKind::other;
  }
}

// Shutdown, or the close of the socket that started routing, forgets everything. PIM goes
// off with it: it means nothing without a routing socket, and the next start sets it again.
void SimKernel::flush(MrtTable& table) { table = MrtTable{}; }

int SimKernel::applyOption(Namespace& ns, Socket const& socket, int fd, CallKind kind, int level,
                           Bytes value) {
  MrtFamily const& family = *socket.family;
  if (level != family.level) return EINVAL;
  if (kind == CallKind::other) return ENOPROTOOPT;
  MrtTable& t = table(ns, family);
  if (kind == CallKind::start) return start(t, socket, fd, value);
  if (t.mrtFd != fd) return EACCES;
  switch (kind) {
    case CallKind::done:
      if (!intValue(value)) return EINVAL;
      flush(t);
      return 0;
    case CallKind::pim: {
      auto const on = intValue(value);
      if (!on) return EINVAL;
      t.pim = *on != 0;
      return 0;
    }
    case CallKind::addVif: return addVif(ns, t, family, value);
    case CallKind::delVif: return delVif(t, family, value);
    case CallKind::addMfc: return addMfc(t, family, value);
    case CallKind::delMfc: return delMfc(t, family, value);
    default: return ENOPROTOOPT;
  }
}

int SimKernel::start(MrtTable& table, Socket const& socket, int fd, Bytes value) {
  if (socket.type != SOCK_RAW || socket.protocol != socket.family->protocol) return EOPNOTSUPP;
  if (!intValue(value)) return EINVAL;
  if (table.mrtFd >= 0) return EADDRINUSE;
  table.mrtFd = fd;
  return 0;
}

int SimKernel::addVif(Namespace const& ns, MrtTable& table, MrtFamily const& family, Bytes value) {
  if (value.size() != family.vifSize) return EINVAL;
  MrtFamily::VifRequest const request = family.readVif(value);
  if (request.index >= maxVifs) return ENFILE;
  if (table.vifs.contains(request.index)) return EADDRINUSE;
  NamespaceSnapshot::Vif vif{
      .af = family.af, .index = request.index, .threshold = request.threshold};
  if (request.flags == family.registerFlag) {
    bool const registerTaken = std::any_of(table.vifs.begin(), table.vifs.end(), [](auto const& v) {
      return v.second.flags == VifFlags::registerVif;
    });
    if (registerTaken) return EADDRINUSE;
    vif.flags = VifFlags::registerVif;
    table.vifIs(vif);
    return 0;
  }
  // Tunnels, VIFs by local address and any other flags: never sent by the agent.
  if (request.flags != family.byIfindexFlag) return EINVAL;
  if (!ns.hasIfindex(request.ifindex)) return ENODEV;
  vif.flags = request.flags ? VifFlags::useIfindex : VifFlags::none;
  vif.ifindex = request.ifindex;
  table.vifIs(vif);
  return 0;
}

int SimKernel::delVif(MrtTable& table, MrtFamily const& family, Bytes value) {
  if (value.size() != family.delVifSize) return EINVAL;
  std::uint16_t const index = MrtFamily::readVifIndex(value);
  if (index >= maxVifs) return ENFILE;
  return table.vifDel(index) ? 0 : EADDRNOTAVAIL;
}

int SimKernel::addMfc(MrtTable& table, MrtFamily const& family, Bytes value) {
  if (value.size() != family.mfcSize) return EINVAL;
  std::uint16_t iif;
  std::memcpy(&iif, value.data() + family.parentOffset, sizeof iif);
  if (iif >= maxVifs && iif != unresolvedParent) return ENFILE;
  MfcStore::Entry const entry{.source = addressAt(value, family.sourceOffset, family.addressSize),
                              .group = addressAt(value, family.groupOffset, family.addressSize),
                              .iif = iif,
                              .oifs = outgoing(family, value, table.vifIndices)};
  table.mfcs.entryIs(entry);
  return 0;
}

int SimKernel::delMfc(MrtTable& table, MrtFamily const& family, Bytes value) {
  if (value.size() != family.mfcSize) return EINVAL;
  bool const gone = table.mfcs.entryDel(addressAt(value, family.sourceOffset, family.addressSize),
                                        addressAt(value, family.groupOffset, family.addressSize));
  return gone ? 0 : ENOENT;
}

}  // namespace Kernel
