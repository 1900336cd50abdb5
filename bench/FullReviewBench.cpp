// The full review at scale: a VRF's KernelMfibSm reviewing every route of two tables into
// the kernel once, after start-up. Reports routes reviewed per second, the heap each route
// leaves behind, and the allocations the agent makes per route (the kernel seam counts
// separately: a null kernel that accepts every call and keeps nothing isolates the agent).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/BenchSupport.h"
#include "entities/Config.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/Status.h"
#include "host/ActivityManager.h"
#include "kernel/Backend.h"
#include "kernel/SimKernel.h"
#include "kernelmfib/KernelMfibSm.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

void* operator new(std::size_t n) {
  ++allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace Routing::KernelMfib;
using Halm::Multicast::Fib::Route;
using Table = Halm::Multicast::Fib::Status;

// Accepts every call and keeps nothing: what remains is the agent's own cost.
class NullKernel : public Kernel::Backend {
 public:
  int socketAt(int, int, int, Plix::NamespaceName const&) override { return 3; }
  int setsockopt(int, int, int, void const*, socklen_t) override { return 0; }
  int ioctl(int, unsigned long, void*) override { return 0; }
  int close(int) override { return 0; }
  int writeProcSys(std::string const&, std::string const&, Plix::NamespaceName const&) override { return 0; }
  std::vector<Kernel::NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName>) const override { return {}; }
};

using Bench::heapInUse;

KernelMfibSm::RouteKey keyOf(std::uint32_t i) { return {Bench::hostPrefix(10, i), Bench::hostPrefix(239, i % 4096)}; }

constexpr int interfaces = 16;

// One VRF with `routes` routes over two tables: the preferred one holds them all, the
// other the even half again (visited, not programmed).
struct World {
  explicit World(std::uint32_t routes) {
    for (int i = 0; i < interfaces; ++i) {
      Plix::IntfId const intf("Ethernet" + std::to_string(i + 1));
      intfs.push_back(intf);
      status->vifConfigColl.is(intf, static_cast<VifIndex>(i + 1));
      status->vifStatusColl.is(intf, static_cast<VifIndex>(i + 1));
    }
    best->preferenceIs(10);
    other->preferenceIs(20);
    for (std::uint32_t i = 0; i < routes; ++i) {
      std::vector<Plix::IntfId> oifs{intfs[(i + 1) % interfaces], intfs[(i + 2) % interfaces],
                                     intfs[(i + 3) % interfaces]};
      Route const r(keyOf(i), intfs[i % interfaces], oifs, 0);
      best->routeIs(r);
      if (i % 2 == 0) other->routeIs(r);
    }
    coll->halmPtrIs(best);
    coll->halmPtrIs(other);
  }
  Quib::ActivityManager am;
  Quib::Ptr<Config> config = Quib::make<Config>("default");
  Quib::Ptr<Status> status = Quib::make<Status>("default");
  Quib::Ptr<Interface::DeviceIntfStatusDir> devices = Quib::make<Interface::DeviceIntfStatusDir>("devices");
  Quib::Ptr<KeyToSync> keyToSync = Quib::make<KeyToSync>(L3::VrfName("default"));
  Quib::Ptr<Table> best = Quib::make<Table>("pim");
  Quib::Ptr<Table> other = Quib::make<Table>("static");
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("default");
  std::vector<Plix::IntfId> intfs;
};

// Starts the machine and runs its full review to the end; virtual time does not move
// while it works, so the review is one slice.
template <class Kernel>
void fullReview(benchmark::State& state) {
  std::uint32_t const routes = static_cast<std::uint32_t>(state.range(0));
  World world(routes);
  std::uint64_t allocs = 0;
  std::size_t heapGrowth = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Kernel kernel;
    if constexpr (std::is_same_v<Kernel, ::Kernel::SimKernel>) kernel.recordingIs(false);
    ::Kernel::Backend::Use use(kernel);
    auto sm = KernelMfibSm::KernelMfibSmIs(L3::VrfName("default"), Plix::AddressFamily::ipv4, nullptr, world.config,
                                           world.status, world.devices, Plix::NamespaceName::defaultNamespace(),
                                           world.am.clock(), world.keyToSync);
    sm->mfibHalmDirIs(world.coll);
    std::size_t const heapBefore = heapInUse();
    std::uint64_t const allocsBefore = allocations.load();
    state.ResumeTiming();
    world.am.loop().advance(0);
    state.PauseTiming();
    if (!sm->reviewedOnce()) state.SkipWithError("the review did not finish in one slice");
    allocs = allocations.load() - allocsBefore;
    heapGrowth = heapInUse() - heapBefore;
    sm = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * routes);
  state.counters["allocs_per_route"] = static_cast<double>(allocs) / routes;
  state.counters["kernel_bytes_per_route"] = static_cast<double>(heapGrowth) / routes;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("VORLAK_DISABLE", "1", 1);
  for (long n : {100'000L, 1'000'000L}) {
    benchmark::RegisterBenchmark("FullReview/SimKernel", fullReview<Kernel::SimKernel>)->Arg(n)->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FullReview/NullKernel", fullReview<NullKernel>)->Arg(n)->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
