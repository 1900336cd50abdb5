#include "kernel/ErrnoName.h"

#include <array>
#include <cerrno>
#include <utility>

namespace Kernel {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 30> names{{
    {EPERM, "EPERM"},
    {ENOENT, "ENOENT"},
    {EINTR, "EINTR"},
    {EIO, "EIO"},
    {EBADF, "EBADF"},
    {EAGAIN, "EAGAIN"},
    {ENOMEM, "ENOMEM"},
    {EACCES, "EACCES"},
    {EFAULT, "EFAULT"},
    {EBUSY, "EBUSY"},
    {EEXIST, "EEXIST"},
    {ENODEV, "ENODEV"},
    {EINVAL, "EINVAL"},
    {ENFILE, "ENFILE"},
    {EMFILE, "EMFILE"},
    {ENOTTY, "ENOTTY"},
    {ENOSPC, "ENOSPC"},
    {ERANGE, "ERANGE"},
    {ENOSYS, "ENOSYS"},
    {ENOPROTOOPT, "ENOPROTOOPT"},
    {EPROTONOSUPPORT, "EPROTONOSUPPORT"},
    {EOPNOTSUPP, "EOPNOTSUPP"},
    {EAFNOSUPPORT, "EAFNOSUPPORT"},
    {EADDRINUSE, "EADDRINUSE"},
    {EADDRNOTAVAIL, "EADDRNOTAVAIL"},
    {ENETDOWN, "ENETDOWN"},
    {ENETUNREACH, "ENETUNREACH"},
    {ENOBUFS, "ENOBUFS"},
    {ETIMEDOUT, "ETIMEDOUT"},
    {EHOSTUNREACH, "EHOSTUNREACH"},
}};

}  // namespace

std::optional<int> errnoFromName(std::string_view name) {
  for (auto const& [error, n] : names) {
    if (n == name) return error;
  }
  return std::nullopt;
}

std::string errnoName(int error) {
  for (auto const& [e, name] : names) {
    if (e == error) return std::string(name);
  }
  return std::to_string(error);
}

std::string errnoNames() {
  std::string text;
  for (auto const& [error, n] : names) text += (text.empty() ? "" : ", ") + std::string(n);
  return text;
}

}  // namespace Kernel
