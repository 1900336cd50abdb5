#pragma once
// Writes under /proc/sys as seen from inside a network namespace, through the installed
// kernel backend (kernel/Backend.h). Returns 0 on success, -1 with errno set on failure
// (ENOSYS when no backend is installed).

#include <string>

#include "plix/NamespaceName.h"

namespace Zell {

int writeProcSysInNetNs(std::string const& path, std::string const& value,
                        Plix::NamespaceName const& ns);

}  // namespace Zell
