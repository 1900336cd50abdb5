#pragma once
// Sockets opened inside a network namespace, and the calls the agent makes on them. Each
// goes to the installed kernel backend (kernel/Backend.h) and returns like the system call
// of the same name: -1 with errno set on failure, ENOSYS when no backend is installed.

#include <sys/socket.h>

#include "plix/NamespaceName.h"

namespace Plix {

int socketAt(int family, int type, int protocol, NamespaceName const& ns);
int setsockopt(int fd, int level, int option, void const* value, socklen_t len);
int ioctl(int fd, unsigned long request, void* arg);
int close(int fd);

}  // namespace Plix
