#include "kernel/Backend.h"

#include <cerrno>

namespace Kernel {

namespace {

Backend* installed = nullptr;

}  // namespace

Backend::Use::Use(Backend& backend) : previous_(installed) { installed = &backend; }

Backend::Use::~Use() { installed = previous_; }

std::vector<MfcCounter> Backend::counters(std::optional<Plix::NamespaceName>) const { return {}; }

Backend* Backend::current() {
  if (!installed) errno = ENOSYS;
  return installed;
}

}  // namespace Kernel
