#pragma once
// Kernel records written the way the agent writes them, field by field at fixed offsets, so
// that a kernel's reading of them is checked against a writer of its own.

#include <arpa/inet.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace KernelTest {

static_assert(std::endian::native == std::endian::little, "literal records are little-endian");

using Record = std::vector<std::uint8_t>;

template <class T>
void put(Record& record, std::size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

inline Record vifctl(std::uint16_t index, std::uint8_t flags, std::int32_t ifindex) {
  Record r(16);
  put(r, 0, index);
  r[2] = flags;
  r[3] = 1;
  put(r, 8, ifindex);
  return r;
}

inline Record mif6ctl(std::uint16_t index, std::uint8_t flags, std::uint16_t pifi) {
  Record r(12);
  put(r, 0, index);
  r[2] = flags;
  put(r, 4, pifi);
  return r;
}

inline Record mfcctl(char const* source, char const* group, std::uint16_t parent,
                     std::vector<std::uint16_t> const& oifs) {
  Record r(540);
  inet_pton(AF_INET, source, &r[0]);
  inet_pton(AF_INET, group, &r[4]);
  put(r, 8, parent);
  for (auto vif : oifs) r[28 + vif] = 1;
  return r;
}

inline Record mf6cctl(char const* source, char const* group, std::uint16_t parent,
                      std::vector<std::uint16_t> const& oifs) {
  Record r(124);
  inet_pton(AF_INET6, source, &r[8]);
  inet_pton(AF_INET6, group, &r[36]);
  put(r, 56, parent);
  for (auto vif : oifs) r[60 + 4 * (vif / 32) + (vif % 32) / 8] |= std::uint8_t(1u << (vif % 8));
  return r;
}

inline Record delVif4(std::uint16_t index) { return vifctl(index, 0, 0); }

inline Record delMif6(std::uint16_t index) {
  Record r(2);
  put(r, 0, index);
  return r;
}

}  // namespace KernelTest
