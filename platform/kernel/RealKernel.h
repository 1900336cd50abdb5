#pragma once
// What the backends on a real kernel share: each call made as a system call, inside the
// named network namespace where the call creates something there (a socket, a /proc/sys
// write), with errno as the kernel set it. A subclass supplies only the translation from the
// agent's calls to its kernel's: none for the platform's own kernel; the mainline records,
// options and socket for a stock Linux kernel.
//
// Sockets, options and ioctls on descriptors need no namespace: a socket stays in the one
// it was opened in.

#include "kernel/Backend.h"

namespace Kernel {

class RealKernel : public Backend {
 public:
  int socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) final;
  int setsockopt(int fd, int level, int option, void const* value, socklen_t len) final;
  int ioctl(int fd, unsigned long request, void* arg) final;
  int close(int fd) final;
  int writeProcSys(std::string const& path, std::string const& value,
                   Plix::NamespaceName const& ns) final;

  // A call as the agent made it, rewritten in place by the translation.
  struct SocketCall {
    int family;
    int type;
    int protocol;
  };
  struct OptionCall {
    int level;
    int option;
    void const* value;  // may be pointed at a record the translation keeps
    socklen_t len;
  };
  struct ProcSysCall {
    std::string path;
    std::string value;
  };

 protected:
  RealKernel() = default;

  // Each rewrites the call in place for its kernel and returns 0 to make it, or an errno
  // to fail it without a system call.
  virtual int translateSocket(SocketCall& call) = 0;
  virtual int translateOption(int fd, OptionCall& call) = 0;
  virtual int translateProcSys(ProcSysCall& call) = 0;
};

}  // namespace Kernel
