// A scale run on the real (epoll) event loop: several VRFs, each in its own namespace of
// the simulated kernel with a full VIF table, their routes over two tables each, reviewed
// in full; then a burst of route changes, mirrored into the kernel. Prints the wall and CPU
// time of both phases, the heap per route, the process's peak memory, and the longest
// time the loop was held by one callback, seen as the lateness of a 1 ms probe timer.
//
//   ScaleRun [routes [changes [vrfs]]]     (defaults: 1000000 100000 4)

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "entities/Config.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/MulticastIntfsForApplications.h"
#include "entities/Status.h"
#include "host/ActivityManager.h"
#include "host/EpollLoop.h"
#include "kernel/Backend.h"
#include "kernel/SimKernel.h"
#include "kernelmfib/KernelMfibSm.h"
#include "quib/System.h"

namespace {

using namespace Routing::KernelMfib;
using Halm::Multicast::Fib::MfibHalmColl;
using Halm::Multicast::Fib::Route;
using Table = Halm::Multicast::Fib::Status;

constexpr std::uint32_t interfaces = 511;  // VIFs 1 to 511; 0 is the Register VIF

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// How late a timer armed every millisecond fires: while a callback holds the loop, the
// probe waits, so its largest lateness bounds the longest callback from above.
class Probe : public Quib::Clock::NotifieeConst {
 public:
  explicit Probe(Quib::Ptr<Quib::Clock const> const& clock) {
    notifierIs(clock);
    hasNotificationActiveIs(true);
    arm(Quib::System::currentTime());
  }
  void onTime() override {
    double const now = Quib::System::currentTime();
    if (now - due_ > longest) longest = now - due_;
    // The loop waits idle for the probe: the CPU spent since its last firing is the
    // callbacks' own, which other processes on a loaded machine do not stretch.
    double const cpu = cpuSeconds();
    longestCpu = std::max(longestCpu, cpu - cpuAt_);
    cpuAt_ = cpu;
    arm(now);
  }
  // Forgets what it saw and starts over from now.
  void restart() {
    longest = 0;
    longestCpu = 0;
    cpuAt_ = cpuSeconds();
    arm(Quib::System::currentTime());
  }
  static constexpr double period = 0.001;
  double longest = 0;
  double longestCpu = 0;

 private:
  void arm(double now) {
    due_ = now + period;
    timeMinIs(due_);
  }
  double due_ = 0;
  double cpuAt_ = cpuSeconds();
};

struct Vrf {
  Vrf(int n, Kernel::SimKernel& sim, Quib::Ptr<Quib::Dir> const& app)
      : name("vrf" + std::to_string(n)), ns("ns" + std::to_string(n)) {
    sim.netnsIs(ns);
    auto requests = Quib::make<McastCommon::MulticastIntfsForApplications>(name);
    app->entityPtrIs(name, requests);
    for (std::uint32_t i = 1; i <= interfaces; ++i) {
      Plix::IntfId const intf("Ethernet" + std::to_string(i));
      std::string const dev = "et" + std::to_string(i);
      intfs.push_back(intf);
      sim.linkIs(ns, dev, i);
      devices->intfStatusAndDeviceName.is(intf, {nullptr, dev, i});
      requests->multicastIntf.is(intf, true);
    }
    second->preferenceIs(Table::defaultPreference + 1);
    coll->halmPtrIs(first);
    coll->halmPtrIs(second);
  }
  Route route(std::uint32_t i, std::uint32_t shift) const {
    std::vector<Plix::IntfId> oifs;
    for (std::uint32_t k = 1; k <= 3; ++k) oifs.push_back(intfs[(i + k + shift) % interfaces]);
    return Route(Halm::Multicast::Fib::IpGenRouteKey(Bench::hostPrefix(10, i), Bench::hostPrefix(239, i % 4096)),
                 intfs[i % interfaces], oifs, 0);
  }
  // Even keys go to the first table, odd ones to the second.
  Table& tableOf(std::uint32_t i) { return i % 2 ? *second : *first; }

  std::string name;
  Plix::NamespaceName ns;
  std::vector<Plix::IntfId> intfs;
  Quib::Ptr<Config> config = Quib::make<Config>(name);
  Quib::Ptr<Status> status = Quib::make<Status>(name);
  Quib::Ptr<Interface::DeviceIntfStatusDir> devices = Quib::make<Interface::DeviceIntfStatusDir>(name);
  Quib::Ptr<KeyToSync> keyToSync = Quib::make<KeyToSync>(L3::VrfName(name));
  Quib::Ptr<Table> first = Quib::make<Table>("pim");
  Quib::Ptr<Table> second = Quib::make<Table>("static");
  Quib::Ptr<MfibHalmColl> coll = Quib::make<MfibHalmColl>(name);
  Quib::Ptr<KernelMfibSm> sm;
};

template <class Done>
void runUntil(Quib::ActivityManager& am, Done done) {
  while (!done()) am.loop().advance(0.01);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("VORLAK_DISABLE", "1", 1);
  std::uint32_t const routes = argc > 1 ? static_cast<std::uint32_t>(std::stoul(argv[1])) : 1'000'000;
  std::uint32_t const changes = argc > 2 ? static_cast<std::uint32_t>(std::stoul(argv[2])) : 100'000;
  int const vrfCount = argc > 3 ? std::stoi(argv[3]) : 4;
  std::uint32_t const perVrf = routes / static_cast<std::uint32_t>(vrfCount);

  Quib::ActivityManager am(std::make_unique<Quib::EpollLoop>());
  Kernel::SimKernel sim;
  sim.recordingIs(false);
  Kernel::Backend::Use use(sim);
  auto apps = Quib::make<Quib::Dir>("application");
  auto app = apps->mkdir("scale");
  std::vector<std::unique_ptr<Vrf>> vrfs;
  for (int v = 1; v <= vrfCount; ++v) vrfs.push_back(std::make_unique<Vrf>(v, sim, app));

  std::size_t const heapBefore = Bench::heapInUse();
  double cpu = cpuSeconds();
  for (auto& vrf : vrfs) {
    for (std::uint32_t i = 0; i < perVrf; ++i) vrf->tableOf(i).routeIs(vrf->route(i, 0));
  }
  double const fillCpu = cpuSeconds() - cpu;
  double const heapPerRoute =
      static_cast<double>(Bench::heapInUse() - heapBefore) / (perVrf * static_cast<double>(vrfCount));

  double wall = wallSeconds();
  cpu = cpuSeconds();
  for (auto& vrf : vrfs) {
    vrf->sm = KernelMfibSm::KernelMfibSmIs(L3::VrfName(vrf->name), Plix::AddressFamily::ipv4, apps, vrf->config,
                                           vrf->status, vrf->devices, vrf->ns, am.clock(), vrf->keyToSync);
    vrf->sm->mfibHalmDirIs(vrf->coll);
  }
  // Armed once the machines are built: building them runs outside the loop's callbacks.
  Probe probe(am.clock());
  runUntil(am, [&] {
    for (auto const& vrf : vrfs) {
      if (!vrf->sm->reviewedOnce()) return false;
    }
    return true;
  });
  double const reviewWall = wallSeconds() - wall, reviewCpu = cpuSeconds() - cpu;
  double const reviewLongest = probe.longest, reviewLongestCpu = probe.longestCpu;
  std::size_t vifs = 0, mfcs = 0;
  for (auto const& s : sim.snapshot(std::nullopt)) {
    vifs += s.vifs.size();
    mfcs += s.mfcs.size();
  }

  std::uint32_t const stride = std::max<std::uint32_t>(1, routes / changes);
  wall = wallSeconds();
  cpu = cpuSeconds();
  for (std::uint32_t c = 0; c < changes; ++c) {
    std::uint32_t const i = c * stride / static_cast<std::uint32_t>(vrfCount);
    Vrf& vrf = *vrfs[c % static_cast<std::uint32_t>(vrfCount)];
    vrf.tableOf(i).routeIs(vrf.route(i, 7));
  }
  // The burst arrives outside the loop's callbacks; the probe watches the loop after it.
  probe.restart();
  runUntil(am, [&] {
    for (auto const& vrf : vrfs) {
      if (!vrf->sm->changedRoute().empty()) return false;
    }
    return true;
  });
  double const mirrorWall = wallSeconds() - wall, mirrorCpu = cpuSeconds() - cpu;

  // The last change as the kernel holds it: its new outgoing interfaces' VIFs.
  std::uint32_t const last = (changes - 1) * stride / static_cast<std::uint32_t>(vrfCount);
  Vrf const& lastVrf = *vrfs[(changes - 1) % static_cast<std::uint32_t>(vrfCount)];
  std::vector<std::uint16_t> expected;
  for (std::uint32_t k = 1; k <= 3; ++k) {
    auto const* vif = lastVrf.status->vifStatusColl.find(lastVrf.intfs[(last + k + 7) % interfaces]);
    if (vif) expected.push_back(*vif);
  }
  std::sort(expected.begin(), expected.end());
  bool mirrored = false;
  auto const kernelState = sim.snapshot(lastVrf.ns);
  for (auto const& m : kernelState.front().mfcs) {
    if (m.source == Bench::hostPrefix(10, last).address() && m.group == Bench::hostPrefix(239, last % 4096).address()) {
      mirrored = m.oifs == expected && expected.size() == 3;
    }
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("vrfs %d, VIFs in the kernel %zu, routes %u (%u per VRF over two tables), MFC entries %zu\n", vrfCount,
              vifs, perVrf * static_cast<std::uint32_t>(vrfCount), perVrf, mfcs);
  std::printf("table fill: %.3f s CPU (%.3f us per route), heap %.0f B per route\n", fillCpu,
              fillCpu * 1e6 / routes, heapPerRoute);
  std::printf("full review: %.3f s wall, %.3f s CPU (%.3f us per route), longest callback <= %.1f ms\n", reviewWall,
              reviewCpu, reviewCpu * 1e6 / routes, reviewLongest * 1e3);
  std::printf("%u changes mirrored: %.3f s wall, %.3f s CPU (%.3f us per change), longest callback <= %.1f ms, "
              "last change in the kernel: %s\n",
              changes, mirrorWall, mirrorCpu, mirrorCpu * 1e6 / changes, probe.longest * 1e3,
              mirrored ? "yes" : "NO");
  std::printf("longest CPU between two probe firings: full review %.1f ms, changes %.1f ms\n", reviewLongestCpu * 1e3,
              probe.longestCpu * 1e3);
  std::printf("peak memory %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  for (auto& vrf : vrfs) vrf->sm = nullptr;
  return mirrored && mfcs == routes ? 0 : 1;
}
