#include "zell/ProcSys.h"

#include "kernel/Backend.h"

namespace Zell {

int writeProcSysInNetNs(std::string const& path, std::string const& value,
                        Plix::NamespaceName const& ns) {
  auto* backend = Kernel::Backend::current();
  return backend ? backend->writeProcSys(path, value, ns) : -1;
}

}  // namespace Zell
