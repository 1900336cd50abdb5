#include "trace/vorlak/RouteKeyRecord.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>

namespace Vorlak {

namespace {

std::string prefixText(int af, RouteKeyRecord::Address const& address, unsigned length) {
  char buffer[INET6_ADDRSTRLEN];
  if (!inet_ntop(af, address.data(), buffer, sizeof buffer)) return "?";
  return std::string(buffer) + "/" + std::to_string(length);
}

}  // namespace

RouteKeyRecord RouteKeyRecord::v4(std::array<std::uint8_t, 4> const& source, std::uint8_t sourceLength,
                                  std::array<std::uint8_t, 4> const& group, std::uint8_t groupLength) {
  RouteKeyRecord r{};
  r.family = ipv4;
  r.sourceLength = sourceLength;
  r.groupLength = groupLength;
  std::copy(source.begin(), source.end(), r.source.begin());
  std::copy(group.begin(), group.end(), r.group.begin());
  return r;
}

RouteKeyRecord RouteKeyRecord::v6(Address const& source, std::uint8_t sourceLength, Address const& group,
                                  std::uint8_t groupLength) {
  RouteKeyRecord r{};
  r.family = ipv6;
  r.sourceLength = sourceLength;
  r.groupLength = groupLength;
  r.source = source;
  r.group = group;
  return r;
}

std::string RouteKeyRecord::text() const {
  int af = 0;
  if (family == ipv4) af = AF_INET;
  if (family == ipv6) af = AF_INET6;
  if (af == 0) return std::string("(family ").append(std::to_string(family)).append("?)");
  return std::string("(").append(prefixText(af, source, sourceLength)).append(", ").append(
      prefixText(af, group, groupLength)).append(")");
}

}  // namespace Vorlak
