#include "kernel/MrtFamily.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace Kernel {

namespace {

template <class T>
T readAt(MrtFamily::Bytes record, std::size_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

}  // namespace

MrtFamily const& MrtFamily::ipv4() {
  static constexpr MrtFamily family{
      .af = Plix::AddressFamily::ipv4,
      .domain = AF_INET,
      .protocol = IPPROTO_RAW,
      .level = IPPROTO_IP,
      .startOption = 210,
      .registerFlag = 0x04,
      .byIfindexFlag = 0x08,
      .vifSize = 16,
      .ifindexOffset = 8,
      .ifindexWidth = 4,
      .delVifSize = 16,
      .mfcSize = 540,
      .addressSize = 4,
      .sourceOffset = 0,
      .groupOffset = 4,
      .parentOffset = 8,
      .oifOffset = 28,
      .oifBits = false,
  };
  return family;
}

MrtFamily const& MrtFamily::ipv6() {
  static constexpr MrtFamily family{
      .af = Plix::AddressFamily::ipv6,
      .domain = AF_INET6,
      .protocol = IPPROTO_ICMPV6,
      .level = IPPROTO_IPV6,
      .startOption = 200,
      .registerFlag = 0x01,
      .byIfindexFlag = 0x00,
      .vifSize = 12,
      .ifindexOffset = 4,
      .ifindexWidth = 2,
      .delVifSize = 2,
      .mfcSize = 124,
      .addressSize = 16,
      .sourceOffset = 8,
      .groupOffset = 36,
      .parentOffset = 56,
      .oifOffset = 60,
      .oifBits = true,
  };
  return family;
}

MrtFamily const* MrtFamily::forDomain(int domain) {
  if (domain == AF_INET) return &ipv4();
  if (domain == AF_INET6) return &ipv6();
  return nullptr;
}

MrtFamily::VifRequest MrtFamily::readVif(Bytes record) const {
  return {
      .index = readVifIndex(record),
      .flags = record[2],
      .threshold = record[3],
      .ifindex = ifindexWidth == 4 ? readAt<std::uint32_t>(record, ifindexOffset)
                                   : readAt<std::uint16_t>(record, ifindexOffset),
  };
}

std::uint16_t MrtFamily::readVifIndex(Bytes record) { return readAt<std::uint16_t>(record, 0); }

NamespaceSnapshot::Mfc MrtFamily::readMfc(Bytes record) const {
  NamespaceSnapshot::Mfc mfc;
  mfc.af = af;
  std::copy_n(record.data() + sourceOffset, addressSize, mfc.source.begin());
  std::copy_n(record.data() + groupOffset, addressSize, mfc.group.begin());
  mfc.iif = readAt<std::uint16_t>(record, parentOffset);
  for (std::uint16_t vif = 0; vif < maxVifs; ++vif) {
    bool const outgoing =
        oifBits ? (readAt<std::uint32_t>(record, oifOffset + 4 * (vif / 32)) >> (vif % 32)) & 1
                // A TTL of 255 means "never forward", as for the kernel.
                : record[oifOffset + vif] != 0 && record[oifOffset + vif] != 255;
    if (outgoing) mfc.oifs.push_back(vif);
  }
  return mfc;
}

}  // namespace Kernel
