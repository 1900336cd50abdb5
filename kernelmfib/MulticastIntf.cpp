#include "kernelmfib/MulticastIntf.h"

namespace Routing::KernelMfib {

bool MulticastIntf::requestorAppDel(std::string const& app) {
  if (!requestorApp_.has(app)) return false;
  requestorApp_.del(app);
  return true;
}

}  // namespace Routing::KernelMfib
