#pragma once
// Runs the calling thread inside a named network namespace (/run/netns/NAME) for the
// lifetime of this object, then brings it back to the namespace it came from, also when the
// work done inside failed; errno survives the way back. The default namespace is the one the
// thread is in already: entering it changes nothing. A thread that cannot get back would
// do everything after in the wrong namespace, so that stops the process.

#include "plix/NamespaceName.h"

namespace Kernel {

class NetNsEntry {
 public:
  explicit NetNsEntry(Plix::NamespaceName const& ns);
  ~NetNsEntry();
  NetNsEntry(NetNsEntry const&) = delete;
  NetNsEntry& operator=(NetNsEntry const&) = delete;

  // 0 once inside; otherwise why not (ENOENT for a namespace that does not exist, EINVAL for
  // a name that is no file name).
  int error() const { return error_; }

 private:
  int original_ = -1;
  int error_ = 0;
};

}  // namespace Kernel
