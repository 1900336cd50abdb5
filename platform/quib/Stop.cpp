#include "quib/Stop.h"

#include <cstdio>
#include <cstdlib>

namespace Quib {

void stop(std::string_view diagnostic) {
  std::fprintf(stderr, "kmfib: stopping: %.*s\n", static_cast<int>(diagnostic.size()), diagnostic.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace Quib
