// The MFC record reused from key to key must be, byte for byte, the record built from
// zero for each key: nothing of the previous key's outgoing VIFs, parent or addresses may
// stay behind, whether the next key has fewer VIFs, other ones, or none.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernelmfib/MfcRecord.h"

namespace Routing::KernelMfib {
namespace {

using RouteKey = MfcRecord::RouteKey;

RouteKey keyOf(char const* source, char const* group) {
  return RouteKey(Plix::IpGenPrefix::parse(source), Plix::IpGenPrefix::parse(group));
}

MfcEntry entryOf(std::uint16_t parent, std::vector<unsigned> const& oifs) {
  MfcEntry e;
  e.parent = parent;
  for (unsigned v : oifs) e.oifs.set(v);
  return e;
}

// The record as the kernel's structures lay it out, from zero: IPv4 origin, group, parent
// and one TTL byte per VIF from byte 28; IPv6 origin at 8, group at 36, parent at 56 and a
// bit per VIF in 32-bit words from byte 60.
std::vector<unsigned char> fresh(Plix::AddressFamily af, RouteKey const& key, MfcEntry const& entry) {
  bool const v6 = af == Plix::AddressFamily::ipv6;
  std::vector<unsigned char> out(v6 ? 124 : 540, 0);
  std::memcpy(out.data() + (v6 ? 8 : 0), key.source().address().data(), v6 ? 16 : 4);
  std::memcpy(out.data() + (v6 ? 36 : 4), key.group().address().data(), v6 ? 16 : 4);
  out[v6 ? 56 : 8] = static_cast<unsigned char>(entry.parent & 0xff);
  out[v6 ? 57 : 9] = static_cast<unsigned char>(entry.parent >> 8);
  for (unsigned v = 0; v < MfcEntry::kernelVifs; ++v) {
    if (!entry.oifs.test(v)) continue;
    if (!v6) {
      out[28 + v] = 1;
      continue;
    }
    std::uint32_t word;
    std::memcpy(&word, out.data() + 60 + 4 * (v / 32), 4);
    word |= std::uint32_t{1} << (v % 32);
    std::memcpy(out.data() + 60 + 4 * (v / 32), &word, 4);
  }
  return out;
}

TEST(MfcRecord, EachKeysRecordIsTheFreshOneByteForByte) {
  struct Step {
    RouteKey key;
    MfcEntry entry;
  };
  struct Case {
    char const* what;
    Plix::AddressFamily af;
    std::vector<Step> steps;
  };
  auto const v4 = Plix::AddressFamily::ipv4;
  auto const v6 = Plix::AddressFamily::ipv6;
  Case const cases[] = {
      {"IPv4: many VIFs, then fewer, then others, then none",
       v4,
       {{keyOf("10.0.0.1", "239.1.1.1"), entryOf(1, {0, 2, 3, 200, 511})},
        {keyOf("10.0.0.2", "239.1.1.2"), entryOf(2, {3})},
        {keyOf("192.168.7.9", "224.0.1.1"), entryOf(7, {1, 4, 510})},
        {keyOf("10.0.0.3", "239.1.1.3"), entryOf(MfcEntry::unresolved, {})},
        {keyOf("10.0.0.3", "239.1.1.3"), entryOf(300, {299, 301})}}},
      {"IPv6: VIFs sharing a word, then one bit of it, then other words",
       v6,
       {{keyOf("2001:db8::1", "ff3e::1"), entryOf(1, {0, 1, 31, 32, 63, 255})},
        {keyOf("2001:db8::2", "ff3e::2"), entryOf(3, {1})},
        {keyOf("2001:db8:ffff::9", "ff3e::abcd"), entryOf(4, {33, 64, 250})},
        {keyOf("2001:db8::3", "ff3e::3"), entryOf(MfcEntry::unresolved, {})}}},
  };
  for (auto const& c : cases) {
    MfcRecord record(c.af);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      auto const& step = c.steps[i];
      record.is(step.key, step.entry);
      auto const expected = fresh(c.af, step.key, step.entry);
      ASSERT_EQ(record.size(), expected.size()) << c.what;
      auto const* bytes = static_cast<unsigned char const*>(record.data());
      for (std::size_t b = 0; b < expected.size(); ++b) {
        ASSERT_EQ(bytes[b], expected[b]) << c.what << ", step " << i << ", byte " << b;
      }
    }
  }
}

}  // namespace
}  // namespace Routing::KernelMfib
