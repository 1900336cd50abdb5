#include "plix/IpGenPrefix.h"

#include <arpa/inet.h>
#include <endian.h>

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace Plix {

IpGenPrefix::IpGenPrefix(AddressFamily af, Bytes const& address, std::uint8_t len)
    : af_(af), len_(len), address_(address) {
  if (af != AddressFamily::ipv4 && af != AddressFamily::ipv6) throw std::invalid_argument("unknown address family");
  if (len > maxLen()) {
    throw std::invalid_argument("prefix length " + std::to_string(len) + " exceeds " + std::to_string(maxLen()));
  }
  // No bit may be set after the first `len`; for IPv4 that includes bytes 4 to 15. Two
  // words rather than a loop over bytes: keys are built for every route.
  auto word = [&](std::size_t at) {
    std::uint64_t w;
    std::memcpy(&w, address.data() + at, sizeof w);
    return be64toh(w);
  };
  std::uint64_t const all = ~std::uint64_t{0};
  std::uint64_t const highHost = len >= 64 ? 0 : all >> len;
  std::uint64_t const lowHost = len >= 128 ? 0 : len <= 64 ? all : all >> (len - 64);
  if ((word(0) & highHost) || (word(8) & lowHost)) {
    throw std::invalid_argument(str() + ": host bits set beyond the prefix length");
  }
}

IpGenPrefix IpGenPrefix::parse(std::string_view text) {
  auto fail = [&](std::string_view why) {
    return std::invalid_argument("bad prefix '" + std::string(text) + "': " + std::string(why));
  };
  auto slash = text.find('/');
  std::string addr(text.substr(0, slash));
  Bytes bytes{};
  AddressFamily af;
  if (inet_pton(AF_INET, addr.c_str(), bytes.data()) == 1) {
    af = AddressFamily::ipv4;
  } else if (inet_pton(AF_INET6, addr.c_str(), bytes.data()) == 1) {
    af = AddressFamily::ipv6;
  } else {
    throw fail("not an IPv4 or IPv6 address");
  }
  unsigned len = af == AddressFamily::ipv6 ? 128 : 32;
  if (slash != std::string_view::npos) {
    auto lenText = text.substr(slash + 1);
    auto [end, ec] = std::from_chars(lenText.data(), lenText.data() + lenText.size(), len);
    if (lenText.empty() || ec != std::errc() || end != lenText.data() + lenText.size()) throw fail("bad length");
    if (len > (af == AddressFamily::ipv6 ? 128u : 32u)) throw fail("length out of range");
  }
  try {
    return IpGenPrefix(af, bytes, static_cast<std::uint8_t>(len));
  } catch (std::invalid_argument const&) {
    throw fail("host bits set beyond the prefix length");
  }
}

std::string IpGenPrefix::addressText() const {
  char buf[INET6_ADDRSTRLEN] = {};
  inet_ntop(af_ == AddressFamily::ipv6 ? AF_INET6 : AF_INET, address_.data(), buf, sizeof buf);
  return buf;
}

std::string IpGenPrefix::str() const { return addressText() + "/" + std::to_string(len_); }

}  // namespace Plix

std::size_t std::hash<Plix::IpGenPrefix>::operator()(Plix::IpGenPrefix const& p) const noexcept {
  std::size_t h = static_cast<std::size_t>(p.af()) * 131 + p.len();
  for (auto b : p.address()) h = h * 1099511628211ull + b;
  return h;
}
