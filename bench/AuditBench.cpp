// The mirror audit at scale, on the real event loop and the simulated kernel: one VRF whose
// table holds N routes (an iif and three oifs out of 16 registered VIFs), fully reviewed,
// then audited once while the kernel mirrors the tables, so the audit finds nothing and
// sends nothing. Reports the audit's wall time (its pacing on the review timer's credits
// included), its slices and longest slice, the time of its own work per route (the slices
// summed, the waits between them left out; and as process CPU time, which a loaded machine
// does not inflate), and the read-back alone. The first slice carries the read-back: with
// the audit started in the middle of it, it also counts the run's start.

#include <benchmark/benchmark.h>

#include <ctime>
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
#include "quib/Dir.h"

namespace {

using namespace Routing::KernelMfib;
using Halm::Multicast::Fib::Route;
using Table = Halm::Multicast::Fib::Status;

constexpr int interfaces = 16;

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void auditOfAMirror(benchmark::State& state) {
  std::uint32_t const routes = static_cast<std::uint32_t>(state.range(0));
  Quib::ActivityManager am(std::make_unique<Quib::EpollLoop>());
  Kernel::SimKernel sim;
  sim.recordingIs(false);
  Kernel::Backend::Use use(sim);
  auto const ns = Plix::NamespaceName::defaultNamespace();

  auto config = Quib::make<Config>("default");
  config->audit.is(1);
  auto status = Quib::make<Status>("default");
  auto devices = Quib::make<Interface::DeviceIntfStatusDir>("devices");
  auto keyToSync = Quib::make<KeyToSync>(L3::VrfName("default"));
  auto apps = Quib::make<Quib::Dir>("application");
  auto requests = Quib::make<McastCommon::MulticastIntfsForApplications>("default");
  apps->mkdir("pim")->entityPtrIs("default", requests);
  std::vector<Plix::IntfId> intfs;
  for (int i = 0; i < interfaces; ++i) {
    Plix::IntfId const intf("Ethernet" + std::to_string(i + 1));
    std::string const dev = "eth" + std::to_string(i + 1);
    auto const ifIndex = static_cast<std::uint32_t>(11 + i);
    sim.linkIs(ns, dev, ifIndex);
    devices->intfStatusAndDeviceName.is(intf, {nullptr, dev, ifIndex});
    requests->multicastIntf.is(intf, true);
    intfs.push_back(intf);
  }
  auto table = Quib::make<Table>("pim");
  for (std::uint32_t i = 0; i < routes; ++i) {
    std::vector<Plix::IntfId> oifs{intfs[(i + 1) % interfaces], intfs[(i + 2) % interfaces],
                                   intfs[(i + 3) % interfaces]};
    table->routeIs(Route({Bench::hostPrefix(10, i), Bench::hostPrefix(239, i % 4096)}, intfs[i % interfaces], oifs, 0));
  }
  auto coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("default");
  coll->halmPtrIs(table);

  for (auto _ : state) {
    auto sm = KernelMfibSm::KernelMfibSmIs(L3::VrfName("default"), Plix::AddressFamily::ipv4, apps, config, status,
                                           devices, ns, am.clock(), keyToSync);
    sm->mfibHalmDirIs(coll);
    while (!sm->reviewedOnce()) am.loop().advance(0.01);
    while (!sm->auditRunning() && sm->auditTotals().runs == 0) am.loop().advance(0.01);
    double const wallStart = am.currentTime();
    double const cpuStart = cpuSeconds();
    while (sm->auditTotals().runs == 0) am.loop().advance(0.01);
    double const wall = am.currentTime() - wallStart;
    // CPU time also counts the loop's wake-ups between slices, a few microseconds each.
    double const cpu = cpuSeconds() - cpuStart;
    auto const& totals = sm->auditTotals();
    // The audit's own work: the slices' time, not the waits between them.
    state.SetIterationTime(totals.busy);
    if (totals.added + totals.replaced + totals.removed + totals.vifs != 0) {
      state.SkipWithError("the audit repaired something");
    }
    state.counters["audit_wall_s"] = wall;
    state.counters["slices"] = static_cast<double>(totals.slices);
    state.counters["longest_slice_ms"] = totals.longestSlice * 1e3;
    state.counters["ns_per_route"] = totals.busy / routes * 1e9;
    state.counters["cpu_ns_per_route"] = cpu / routes * 1e9;

    double const readBefore = cpuSeconds();
    auto const snapshot = sim.snapshot(ns);
    state.counters["read_back_ms"] = (cpuSeconds() - readBefore) * 1e3;
    benchmark::DoNotOptimize(snapshot.data());
    sm->hasNotificationActiveIs(false);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * routes);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("VORLAK_DISABLE", "1", 1);
  for (long n : {100'000L, 1'000'000L}) {
    benchmark::RegisterBenchmark("AuditOfAMirror/SimKernel", auditOfAMirror)->Arg(n)->Iterations(1)->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
