#pragma once
// What one model-check run showed besides its end state, and the defined cases it proves.
// It keeps the simulated kernel's call log in view, notes where in that log the statements
// that matter fell (restarts, namespace and table removals, VIFs the kernel lost) and catches
// the agent's trace lines that tell of an abandoned review walk. Each question names one case
// and why in one line, and answers only when the log shows exactly that case; otherwise "".

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kernel/SimKernel.h"
#include "plix/AddressFamily.h"
#include "tools/modelcheck/ReferenceModel.h"
#include "trace/Sink.h"

namespace ModelCheck {

class RunEvidence : public Trace::Sink {
 public:
  using Key = ReferenceModel::Key;
  using Entry = ReferenceModel::Entry;

  RunEvidence(Kernel::SimKernel const& kernel, Plix::AddressFamily af);

  // Statement hooks, called before the statement is applied.
  void starting();
  void restarting(std::set<std::string> const& vrfsWithMachines);
  void namespaceRemoving(std::string const& ns);
  // `keys`: those whose best route or last change the table held.
  void tableRemoving(std::string const& vrf, std::set<Key> const& keys);
  // A route statement for the key: a table removal before it no longer explains the key.
  void routeChanging(std::string const& vrf, Key const& key);
  // After every statement: the VRFs that have machines, and the VIFs the kernel holds.
  void settled(std::set<std::string> const& vrfsWithMachines,
               std::map<std::string, std::map<std::uint16_t, std::uint32_t>> vifs);

  // The cases that hold for all a VRF's machine holds in its namespace.
  std::string machineCase(std::string const& vrf, std::string const& ns) const;
  // A VIF the kernel holds other than the registrations say: `wanted` and `held` ifindex.
  std::string vifCase(std::string const& vrf, std::string const& ns, std::uint16_t index, std::optional<std::uint32_t> wanted,
                      std::optional<std::uint32_t> held) const;
  // An MFC entry the kernel holds other than the tables and registrations make;
  // `missingVifs`: registered VIFs the kernel lacks, each for a case of its own.
  std::string mfcCase(std::string const& vrf, std::string const& ns, Key const& key, Entry const* expected,
                      Entry const* held, std::set<std::uint16_t> const& missingVifs) const;
  // An interface without a VIF index: whether every index the bound allows that no
  // interface holds (`free`) waits for a refused delete of its VIF.
  std::string heldBackCase(std::string const& vrf, std::string const& ns, std::set<std::uint16_t> const& free) const;
  // Whether a refused delete held a VIF index back in the namespace at the mark (the number
  // of calls made before it): an interface that joins then may find no index, and when the
  // delete is done the index goes to the waiting interfaces in the allocation's order.
  bool heldBackAt(std::string const& ns, std::size_t mark) const;
  // Where the next statement starts in the call log.
  std::size_t mark() const { return calls().size(); }
  // A limit of unresolved traffic that holds `held`, not what the configurations wrote.
  std::string limitCase(std::string const& ns, std::string const& path, std::uint32_t held) const;
  // Of machines sharing a namespace, the VRF whose socket holds its multicast routing.
  std::optional<std::string> routingOwner(std::string const& ns) const;
  // A VRF whose machine shares its namespace with the owner's.
  std::string sharedCase(std::string const& vrf, std::string const& ns) const;
  // The VRF whose machine made the next call (from the trace context it runs in).
  void callerIs(std::string_view context);
  // A VRF with a status entry and no machine.
  std::string statusCase(std::string const& vrf) const;

  void write(double time, std::string_view handle, int level, std::string_view text) override;

 private:
  using Call = Kernel::SimKernel::Call;

  // How the calls of one namespace left one VIF index or one MFC key.
  struct Replay {
    std::optional<std::size_t> last;     // the last call for it
    std::optional<std::size_t> cleared;     // the last close of the routing socket, or removal
    std::optional<std::size_t> ownCleared;  // the same, of the VRF's own routing socket
    std::optional<std::uint32_t> vif;    // the ifindex the calls left, VIF replays
    std::optional<Entry> entry;          // the entry the calls left, MFC replays
    bool beforeOpen = false;             // the last call went to a socket that had failed to open
  };

  std::vector<Call> const& calls() const { return kernel_.calls(); }
  // Gives each new call of the log the namespace it went to: a descriptor opened in a
  // namespace that was removed since belongs to none of the current ones.
  void resolve();
  Replay replayVif(std::string const& vrf, std::string const& ns, std::uint16_t index) const;
  Replay replayMfc(std::string const& vrf, std::string const& ns, Key const& key) const;
  // `drops`: where the kernel lost the VIF without a call. Requests to a descriptor that
  // failed to open count for the VRF's machine while its own last open attempt failed.
  template <class Touch>
  Replay replay(std::string const& vrf, std::string const& ns, std::vector<std::size_t> const& drops,
                Touch const& touch) const;
  // Whether the call was the VRF's machine's (or of no known machine).
  bool mine(std::size_t call, std::string const& vrf) const;
  // The successful start of the socket that routes in the namespace now, if any.
  std::optional<std::size_t> liveStart(std::string const& ns) const;
  std::string restartCase(std::string const& vrf, std::string const& ns, std::uint16_t index) const;
  bool lostAfter(std::string const& vrf, std::string const& ns, std::uint16_t vif, std::optional<std::size_t> call) const;

  Kernel::SimKernel const& kernel_;
  Plix::AddressFamily af_;
  std::vector<std::size_t> restarts_;
  std::set<std::string> orphans_;  // VRFs with a machine at a restart and none since
  std::map<std::string, std::vector<std::size_t>> namespaceRemovals_;
  std::map<std::string, std::map<Key, std::size_t>> tableRemovals_;          // per VRF: key, where
  std::map<std::string, std::map<std::uint16_t, std::vector<std::size_t>>> vifsGone_;  // per ns
  std::map<std::string, std::vector<std::size_t>> abandonedWalks_;                    // per VRF
  std::map<std::string, std::map<std::uint16_t, std::uint32_t>> vifs_;
  std::size_t statementStart_ = 0;
  std::vector<std::string> owners_;  // of each call
  std::map<int, std::string> fds_;
  std::map<std::size_t, std::string> callers_;  // by call
};

}  // namespace ModelCheck
