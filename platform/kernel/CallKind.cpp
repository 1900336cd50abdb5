#include "kernel/CallKind.h"

#include <array>
#include <utility>

namespace Kernel {

namespace {

constexpr std::array<std::pair<CallKind, std::string_view>, 12> names{{
    {CallKind::socket, "socket"},
    {CallKind::start, "start"},
    {CallKind::pim, "pim"},
    {CallKind::nonblock, "nonblock"},
    {CallKind::addVif, "add-vif"},
    {CallKind::delVif, "del-vif"},
    {CallKind::addMfc, "add-mfc"},
    {CallKind::delMfc, "del-mfc"},
    {CallKind::done, "done"},
    {CallKind::procWrite, "proc-write"},
    {CallKind::close, "close"},
    {CallKind::other, "other"},
}};

}  // namespace

std::string_view callKindName(CallKind kind) {
  for (auto const& [k, name] : names) {
    if (k == kind) return name;
  }
  return "unknown";
}

std::optional<CallKind> faultKindFromName(std::string_view name) {
  for (auto const& [kind, n] : names) {
    if (n == name && kind != CallKind::close && kind != CallKind::other) return kind;
  }
  return std::nullopt;
}

std::string faultKindNames() {
  std::string text;
  for (auto const& [kind, n] : names) {
    if (kind != CallKind::close && kind != CallKind::other) text += (text.empty() ? "" : ", ") + std::string(n);
  }
  return text;
}

}  // namespace Kernel
