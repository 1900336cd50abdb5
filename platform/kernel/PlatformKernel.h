#pragma once
// The backend for the platform's own kernel: every call goes to the kernel exactly as the
// agent makes it (option 210 to start IPv4 routing, 512-VIF records, the unresolved-traffic
// files under /proc/sys/net/ipv4/unresolved/).

#include "kernel/RealKernel.h"

namespace Kernel {

class PlatformKernel final : public RealKernel {
 public:
  PlatformKernel() = default;

  // Reading the kernel's tables back is not done yet: this returns nothing.
  std::vector<NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override;

 protected:
  int translateSocket(SocketCall& call) override;
  int translateOption(int fd, OptionCall& call) override;
  int translateProcSys(ProcSysCall& call) override;
};

}  // namespace Kernel
