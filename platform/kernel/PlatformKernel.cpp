#include "kernel/PlatformKernel.h"

namespace Kernel {

std::vector<NamespaceSnapshot> PlatformKernel::snapshot(std::optional<Plix::NamespaceName>) const {
  return {};
}

int PlatformKernel::translateSocket(SocketCall&) { return 0; }

int PlatformKernel::translateOption(int, OptionCall&) { return 0; }

int PlatformKernel::translateProcSys(ProcSysCall&) { return 0; }

}  // namespace Kernel
