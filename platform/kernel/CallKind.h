#pragma once
// The kinds of kernel call the agent makes, as the simulated kernel records them and as an
// operator names them in a `fault` statement.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace Kernel {

enum class CallKind : std::uint8_t {
  socket,
  start,
  pim,
  nonblock,
  addVif,
  delVif,
  addMfc,
  delMfc,
  done,
  procWrite,
  close,
  other,
};

// "socket", "add-vif", "proc-write", ...
std::string_view callKindName(CallKind kind);

// The kinds a `fault` statement may name: every kind but close and other.
std::optional<CallKind> faultKindFromName(std::string_view name);
// Those names, comma-separated, for a refusal to list.
std::string faultKindNames();

inline std::ostream& operator<<(std::ostream& os, CallKind kind) {
  return os << callKindName(kind);
}

}  // namespace Kernel
