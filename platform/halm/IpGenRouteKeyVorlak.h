#pragma once
// Route keys in the binary trace: tagged "MFGK", stored as a RouteKeyRecord.

#include <cstring>

#include "halm/IpGenRouteKey.h"
#include "trace/vorlak/ArgTraits.h"
#include "trace/vorlak/RouteKeyRecord.h"

template <>
struct Vorlak::ArgTraits<Routing::Multicast::Fib::IpGenRouteKey> {
  static constexpr std::string_view tag = "MFGK";
  static std::size_t size(Routing::Multicast::Fib::IpGenRouteKey const&) { return sizeof(RouteKeyRecord); }
  static void encode(std::byte* out, Routing::Multicast::Fib::IpGenRouteKey const& key) {
    RouteKeyRecord r{};
    r.family = key.af() == Plix::AddressFamily::ipv6 ? RouteKeyRecord::ipv6 : RouteKeyRecord::ipv4;
    r.sourceLength = key.source().len();
    r.groupLength = key.group().len();
    r.source = key.source().address();
    r.group = key.group().address();
    std::memcpy(out, &r, sizeof r);
  }
};
