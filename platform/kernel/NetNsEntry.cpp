#include "kernel/NetNsEntry.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Kernel {

NetNsEntry::NetNsEntry(Plix::NamespaceName const& ns) {
  if (ns.isDefault()) return;
  std::string const& name = ns.str();
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    error_ = EINVAL;
    return;
  }
  int const target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (target < 0) {
    error_ = errno;
    return;
  }
  original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (original_ < 0 || ::setns(target, CLONE_NEWNET) < 0) {
    error_ = errno;
    if (original_ >= 0) ::close(original_);
    original_ = -1;
  }
  ::close(target);
}

NetNsEntry::~NetNsEntry() {
  if (original_ < 0) return;
  int const saved = errno;
  if (::setns(original_, CLONE_NEWNET) < 0) {
    std::fprintf(stderr, "kmfib: cannot return to the original network namespace: %s\n",
                 std::strerror(errno));
    std::abort();
  }
  ::close(original_);
  errno = saved;
}

}  // namespace Kernel
