#pragma once
// The backend for the platform's own kernel: every call goes to the kernel exactly as the
// agent makes it (option 210 to start IPv4 routing, 512-VIF records, the unresolved-traffic
// files under /proc/sys/net/ipv4/unresolved/).

#include "kernel/RealKernel.h"

namespace Kernel {

class PlatformKernel final : public RealKernel {
 public:
  PlatformKernel() = default;

  // The platform's kernel offers no way to read its multicast tables back: this throws
  // std::runtime_error saying so, rather than showing an empty kernel.
  std::vector<NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override;

 protected:
  int translateSocket(SocketCall& call) override;
  int translateOption(int fd, OptionCall& call) override;
  int translateProcSys(ProcSysCall& call) override;
};

}  // namespace Kernel
