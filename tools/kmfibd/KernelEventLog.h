#pragma once
// The daemon's operator log of what happens between the agent and the kernel: a backend that
// passes every call on to the real one and writes one line (trace handle "kmfibd", level 1)
// per event an operator acts on, per namespace: multicast-routing socket opened or refused,
// routing started or refused, VIF registered or refused, routing shut down, socket closed.
// Route programming is only counted, never logged per route; `reviewFinished` reports the
// count of the full review that just ended.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "kernel/Backend.h"
#include "kernel/MrtFamily.h"
#include "trace/Context.h"

namespace Kmfibd {

class KernelEventLog final : public Kernel::Backend {
 public:
  explicit KernelEventLog(Kernel::Backend& inner) : inner_(inner) {}

  int socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) override;
  int setsockopt(int fd, int level, int option, void const* value, socklen_t len) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  int close(int fd) override;
  int writeProcSys(std::string const& path, std::string const& value, Plix::NamespaceName const& ns) override;
  std::vector<Kernel::NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override;
  std::vector<Kernel::MfcCounter> counters(std::optional<Plix::NamespaceName> ns) const override;
  bool readsBack() const override { return inner_.readsBack(); }

  // A full review ended: logs the MFC updates the namespace that made the last one has made
  // since its previous full review. Updates are counted per trace context (the VRF at work),
  // so VRFs whose reviews interleave keep their own counts; a review that changes nothing is
  // logged without a namespace.
  void reviewFinished();

 private:
  struct Socket {
    Plix::NamespaceName ns;
    Kernel::MrtFamily const* family;
  };

  struct Updates {
    std::map<Plix::NamespaceName, std::uint64_t> perNamespace;
    std::optional<Plix::NamespaceName> last;
  };

  Kernel::Backend& inner_;
  std::map<int, Socket> sockets_;
  std::map<Trace::Context, Updates> mfcUpdates_;
};

}  // namespace Kmfibd
