#include "kernel/PlatformKernel.h"

#include <stdexcept>

namespace Kernel {

std::vector<NamespaceSnapshot> PlatformKernel::snapshot(std::optional<Plix::NamespaceName>) const {
  throw std::runtime_error(
      "the platform backend cannot read the kernel back: its multicast-routing socket state, VIF table and "
      "MFC entries have no read interface here; the operator log shows what the agent set");
}

int PlatformKernel::translateSocket(SocketCall&) { return 0; }

int PlatformKernel::translateOption(int, OptionCall&) { return 0; }

int PlatformKernel::translateProcSys(ProcSysCall&) { return 0; }

}  // namespace Kernel
