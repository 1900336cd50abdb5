#include "kernelmfib/MfcRecord.h"

#include <cstring>

namespace Routing::KernelMfib {

MfcRecord::MfcRecord(Plix::AddressFamily af) : v6_(af == Plix::AddressFamily::ipv6) {}

void MfcRecord::is(RouteKey const& key, MfcEntry const& entry) {
  for (std::uint16_t vif : outgoing_) outgoingIs(vif, false);
  outgoing_.clear();
  auto const& source = key.source().address();
  auto const& group = key.group().address();
  if (v6_) {
    std::memcpy(bytes_.data() + 8, source.data(), 16);
    std::memcpy(bytes_.data() + 36, group.data(), 16);
  } else {
    std::memcpy(bytes_.data() + 0, source.data(), 4);
    std::memcpy(bytes_.data() + 4, group.data(), 4);
  }
  std::memcpy(bytes_.data() + (v6_ ? 56 : 8), &entry.parent, sizeof entry.parent);
  for (auto vif = entry.oifs._Find_first(); vif < MfcEntry::kernelVifs; vif = entry.oifs._Find_next(vif)) {
    outgoingIs(static_cast<unsigned>(vif), true);
    outgoing_.push_back(static_cast<std::uint16_t>(vif));
  }
}

void MfcRecord::outgoingIs(unsigned vif, bool set) {
  if (!v6_) {
    bytes_[28 + vif] = set ? 1 : 0;
    return;
  }
  std::uint32_t word;
  std::memcpy(&word, bytes_.data() + 60 + 4 * (vif / 32), sizeof word);
  std::uint32_t const bit = std::uint32_t{1} << (vif % 32);
  word = set ? word | bit : word & ~bit;
  std::memcpy(bytes_.data() + 60 + 4 * (vif / 32), &word, sizeof word);
}

}  // namespace Routing::KernelMfib
