#pragma once
// An in-process kernel that behaves, towards the agent, like the platform's own kernel: the
// same option levels and numbers, the same record sizes, the same errno for the same
// mistake, 512 VIFs per namespace and family. It keeps per-namespace devices, VIFs, MFC
// entries and unresolved-traffic limits for `show kernel`, records every call with the
// bytes it was given, and can be told to fail chosen calls.
//
// Where Linux lets a privileged caller through, this kernel gives the unprivileged answer:
// options other than start on any socket but the namespace's multicast-routing socket fail
// with EACCES. A removed namespace closes none of its sockets, but every later call on them
// except close fails with ENOENT, as a socket opened there would. As in Linux, an MFC entry
// keeps only the outgoing VIFs that exist when it is added, and removing a device removes
// the VIFs on it.
//
// The host-side operations (namespaces, devices, faults) refuse bad input with
// std::invalid_argument, and then change nothing.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "kernel/Backend.h"
#include "kernel/CallKind.h"
#include "kernel/MfcStore.h"
#include "kernel/MrtFamily.h"

namespace Kernel {

class SimKernel final : public Backend {
 public:
  struct Link {
    std::string dev;
    std::uint32_t ifindex = 0;
    friend bool operator==(Link const&, Link const&) = default;
  };

  // One kernel call as it was made and answered.
  struct Call {
    CallKind kind = CallKind::other;
    Plix::NamespaceName ns{};  // empty when the descriptor was unknown
    int fd = -1;               // the socket called, or the one socketAt opened
    int family = 0;            // socketAt
    int type = 0;
    int protocol = 0;
    int level = 0;  // setsockopt
    int option = 0;
    unsigned long request = 0;          // ioctl
    std::string path{};                 // proc-write
    std::vector<std::uint8_t> bytes{};  // option value, the ioctl's int, or the text written
    int result = 0;
    int error = 0;  // errno when result is -1
  };

  // Told whenever a namespace comes or goes (`dev` empty) or one of its devices comes, goes or
  // changes its index (that device), so that a host mirrors thousands of devices one at a time.
  using ChangeHandler = std::function<void(Plix::NamespaceName const& ns, std::string const& dev)>;
  // Called once at the start of every kernel call.
  using CallHook = std::function<void()>;

  SimKernel();
  ~SimKernel() override;

  void netnsIs(Plix::NamespaceName const& ns);  // nothing if it exists
  void netnsDel(Plix::NamespaceName const& ns);
  bool netns(Plix::NamespaceName const& ns) const;
  std::vector<Plix::NamespaceName> netnsNames() const;

  // A device restated with another index is replaced, as if re-created.
  void linkIs(Plix::NamespaceName const& ns, std::string const& dev, std::uint32_t ifindex);
  void linkDel(Plix::NamespaceName const& ns, std::string const& dev);
  std::vector<Link> links(Plix::NamespaceName const& ns) const;  // sorted by device name
  // Nothing when the namespace or the device does not exist.
  std::optional<std::uint32_t> ifindex(Plix::NamespaceName const& ns, std::string const& dev) const;

  void changeHandlerIs(ChangeHandler handler) { changeHandler_ = std::move(handler); }
  void callHookIs(CallHook hook) { callHook_ = std::move(hook); }

  // The next `count` calls of `kind` in `ns` fail with `error` and apply nothing. Faults for
  // the same namespace and kind queue up in the order given.
  void faultIs(Plix::NamespaceName const& ns, CallKind kind, int error, unsigned count = 1);
  void faultDel(Plix::NamespaceName const& ns);

  void recordingIs(bool on) { recording_ = on; }
  std::vector<Call> const& calls() const { return calls_; }
  void callsDelAll() { calls_.clear(); }

  int socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) override;
  int setsockopt(int fd, int level, int option, void const* value, socklen_t len) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  int close(int fd) override;
  int writeProcSys(std::string const& path, std::string const& value,
                   Plix::NamespaceName const& ns) override;
  std::vector<NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override;
  // Nothing is forwarded here: every MFC entry counts zero.
  std::vector<MfcCounter> counters(std::optional<Plix::NamespaceName> ns) const override;
  bool readsBack() const override { return true; }

 private:
  using Bytes = std::span<std::uint8_t const>;

  // One family's multicast routing in one namespace.
  struct MrtTable {
    int mrtFd = -1;  // the socket that started routing; -1 while off
    bool pim = false;
    std::map<std::uint16_t, NamespaceSnapshot::Vif> vifs;
    MfcStore::VifSet vifIndices;  // the keys of vifs, for filtering outgoing sets
    MfcStore mfcs;
    void vifIs(NamespaceSnapshot::Vif const& vif);
    bool vifDel(std::uint16_t index);
  };

  struct Namespace {
    Plix::NamespaceName name;
    std::map<std::string, std::uint32_t> links;
    std::uint32_t unresolvedEntries = 0;
    std::uint32_t unresolvedBuffers = 0;
    std::array<MrtTable, 2> mrt;  // IPv4, IPv6
    bool hasIfindex(std::uint32_t ifindex) const;
  };

  struct Socket {
    std::weak_ptr<Namespace> ns;  // expired once the namespace is removed
    Namespace* live;              // what ns points to, for use while it has not expired
    Plix::NamespaceName nsName;
    MrtFamily const* family;
    int type;
    int protocol;
    bool nonBlocking = false;
  };

  struct Fault {
    int error;
    unsigned remaining;
  };

  static MrtTable& table(Namespace& ns, MrtFamily const& family);
  static CallKind optionKind(MrtFamily const& family, int level, int option);
  static void flush(MrtTable& table);

  Namespace& existing(Plix::NamespaceName const& ns) const;
  void changed(Plix::NamespaceName const& ns, std::string const& dev = {}) const;
  int lowestFreeFd() const;
  void charge() const;
  int takeFault(Plix::NamespaceName const& ns, CallKind kind);
  // The errno of a call on `socket` that a pending fault or a removed namespace fails.
  int refusal(CallKind kind, Socket const& socket);
  // Keeps the call when recording; the call's return value, errno set on failure.
  int finish(Call& call, int error, int result = 0);
  static int answer(int error, int result = 0);

  int applyOption(Namespace& ns, Socket const& socket, int fd, CallKind kind, int level,
                  Bytes value);
  int start(MrtTable& table, Socket const& socket, int fd, Bytes value);
  static int addVif(Namespace const& ns, MrtTable& table, MrtFamily const& family, Bytes value);
  static int delVif(MrtTable& table, MrtFamily const& family, Bytes value);
  static int addMfc(MrtTable& table, MrtFamily const& family, Bytes value);
  static int delMfc(MrtTable& table, MrtFamily const& family, Bytes value);
  NamespaceSnapshot snapshotOf(Namespace const& ns) const;

  std::map<Plix::NamespaceName, std::shared_ptr<Namespace>> namespaces_;
  std::map<int, Socket> sockets_;
  std::map<std::pair<Plix::NamespaceName, CallKind>, std::deque<Fault>> faults_;
  std::vector<Call> calls_;
  bool recording_ = true;
  ChangeHandler changeHandler_;
  CallHook callHook_;
};

}  // namespace Kernel
