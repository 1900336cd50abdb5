#include "plix/SocketAt.h"

#include "kernel/Backend.h"

namespace Plix {

int socketAt(int family, int type, int protocol, NamespaceName const& ns) {
  auto* backend = Kernel::Backend::current();
  return backend ? backend->socketAt(family, type, protocol, ns) : -1;
}

int setsockopt(int fd, int level, int option, void const* value, socklen_t len) {
  auto* backend = Kernel::Backend::current();
  return backend ? backend->setsockopt(fd, level, option, value, len) : -1;
}

int ioctl(int fd, unsigned long request, void* arg) {
  auto* backend = Kernel::Backend::current();
  return backend ? backend->ioctl(fd, request, arg) : -1;
}

int close(int fd) {
  auto* backend = Kernel::Backend::current();
  return backend ? backend->close(fd) : -1;
}

}  // namespace Plix
