#pragma once
// The record of one family that adds or deletes a kernel MFC entry, kept from one key to
// the next: its bytes stay zero but for the key, the parent and the outgoing VIFs, so
// writing the next key's record clears only the outgoing VIFs the last one set, instead
// of zeroing the whole record (540 bytes for IPv4) for every key.

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "kernelmfib/MfcEntry.h"
#include "plix/AddressFamily.h"

namespace Routing::KernelMfib {

class MfcRecord {
 public:
  using RouteKey = Routing::Multicast::Fib::IpGenRouteKey;

  explicit MfcRecord(Plix::AddressFamily af);

  // Makes the record that of `key` with `entry`'s parent and outgoing VIFs.
  void is(RouteKey const& key, MfcEntry const& entry);
  void const* data() const { return bytes_.data(); }
  socklen_t size() const { return v6_ ? 124 : 540; }

 private:
  void outgoingIs(unsigned vif, bool set);

  bool v6_;
  std::array<unsigned char, 540> bytes_{};
  std::vector<std::uint16_t> outgoing_;  // the VIFs the record sets now
};

}  // namespace Routing::KernelMfib
