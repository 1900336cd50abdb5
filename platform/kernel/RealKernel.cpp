#include "kernel/RealKernel.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/NetNsEntry.h"

namespace Kernel {

namespace {

int fail(int error) {
  errno = error;
  return -1;
}

}  // namespace

int RealKernel::socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) {
  SocketCall call{family, type, protocol};
  if (int const error = translateSocket(call)) return fail(error);
  NetNsEntry const entry(ns);
  if (entry.error()) return fail(entry.error());
  return ::socket(call.family, call.type, call.protocol);
}

int RealKernel::setsockopt(int fd, int level, int option, void const* value, socklen_t len) {
  OptionCall call{level, option, value, len};
  if (int const error = translateOption(fd, call)) return fail(error);
  return ::setsockopt(fd, call.level, call.option, call.value, call.len);
}

int RealKernel::ioctl(int fd, unsigned long request, void* arg) {
  return ::ioctl(fd, request, arg);
}

int RealKernel::close(int fd) { return ::close(fd); }

int RealKernel::writeProcSys(std::string const& path, std::string const& value,
                             Plix::NamespaceName const& ns) {
  ProcSysCall call{path, value};
  if (int const error = translateProcSys(call)) return fail(error);
  // /proc/sys/net shows the namespace of whoever opens it, so the open happens inside.
  NetNsEntry const entry(ns);
  if (entry.error()) return fail(entry.error());
  int const fd = ::open(call.path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  ssize_t const written = ::write(fd, call.value.data(), call.value.size());
  int const error = written < 0 ? errno : written != ssize_t(call.value.size()) ? EIO : 0;
  ::close(fd);
  return error ? fail(error) : 0;
}

}  // namespace Kernel
