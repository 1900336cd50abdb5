#pragma once
// The one door through which the agent reaches the kernel: sockets opened inside a network
// namespace, socket options, ioctls, closes and /proc/sys writes. Backends are
// interchangeable (the simulated kernel, the platform's kernel, a stock Linux kernel); the
// free functions of plix/SocketAt.h and zell/ProcSys.h reach the one installed with
// `Backend::Use`, and fail with ENOSYS while none is.
//
// Every call returns like a system call: >= 0 on success, -1 with errno set on failure.

#include <sys/socket.h>

#include <optional>
#include <string>
#include <vector>

#include "kernel/MfcCounter.h"
#include "kernel/NamespaceSnapshot.h"
#include "plix/NamespaceName.h"

namespace Kernel {

class Backend {
 public:
  // Installs a backend as the current one for its own lifetime and then puts back the one
  // it replaced. Nest them like scopes.
  class Use {
   public:
    explicit Use(Backend& backend);
    ~Use();
    Use(Use const&) = delete;
    Use& operator=(Use const&) = delete;

   private:
    Backend* previous_;
  };

  Backend() = default;
  Backend(Backend const&) = delete;
  Backend& operator=(Backend const&) = delete;
  virtual ~Backend() = default;

  // The installed backend, or nullptr after setting errno to ENOSYS.
  static Backend* current();

  virtual int socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) = 0;
  virtual int setsockopt(int fd, int level, int option, void const* value, socklen_t len) = 0;
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual int close(int fd) = 0;
  virtual int writeProcSys(std::string const& path, std::string const& value,
                           Plix::NamespaceName const& ns) = 0;

  // What the kernel holds, per namespace sorted by name; only `ns` when given. A backend
  // that cannot read its kernel back throws std::runtime_error saying what it cannot read.
  virtual std::vector<NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const = 0;
  // The packet counters of every MFC entry, per namespace; only `ns` when given. A backend
  // that cannot read them shows none.
  virtual std::vector<MfcCounter> counters(std::optional<Plix::NamespaceName> ns) const;
  // Whether `snapshot` reads the kernel's own tables, so that comparing them with what the
  // agent meant says something.
  virtual bool readsBack() const { return false; }
};

}  // namespace Kernel
