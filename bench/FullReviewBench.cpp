// The full review at scale: a VRF's KernelMfibSm reviewing every route of its tables into
// the kernel once, after start-up. Reports routes reviewed per second, the heap each route
// leaves behind, and the allocations the agent makes per route (the kernel seam counts
// separately: a null kernel that accepts every call and keeps nothing isolates the agent).
// Into the simulated kernel, the same process then makes the same MRT_ADD_MFC calls in a
// bare loop and reports the ratio of the two. Last, the changed-route review: the heap a
// pending change holds and the time to program one.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
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
#include "plix/SocketAt.h"

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

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Route routeOf(std::uint32_t i, std::vector<Plix::IntfId> const& intfs, std::uint32_t shift = 0) {
  std::vector<Plix::IntfId> oifs{intfs[(i + 1 + shift) % interfaces], intfs[(i + 2 + shift) % interfaces],
                                 intfs[(i + 3 + shift) % interfaces]};
  return Route(keyOf(i), intfs[i % interfaces], oifs, 0);
}

// One VRF with `routes` routes in one table or two: the preferred one holds them all, the
// other the even half again (visited, not programmed).
struct World {
  World(std::uint32_t routes, int tables) : routes(routes) {
    for (int i = 0; i < interfaces; ++i) {
      Plix::IntfId const intf("Ethernet" + std::to_string(i + 1));
      intfs.push_back(intf);
      status->vifConfigColl.is(intf, static_cast<VifIndex>(i + 1));
      status->vifStatusColl.is(intf, static_cast<VifIndex>(i + 1));
    }
    best->preferenceIs(10);
    other->preferenceIs(20);
    for (std::uint32_t i = 0; i < routes; ++i) {
      Route const r = routeOf(i, intfs);
      best->routeIs(r);
      if (tables == 2 && i % 2 == 0) other->routeIs(r);
    }
    coll->halmPtrIs(best);
    if (tables == 2) coll->halmPtrIs(other);
    // A table puts its keys in order at its first walk; that belongs to filling it, which
    // RouteTableBench times, so it is done here, before the review is timed.
    benchmark::DoNotOptimize(best->begin());
    benchmark::DoNotOptimize(other->begin());
  }
  std::uint32_t routes;
  Quib::ActivityManager am;
  Quib::Ptr<Config> config = Quib::make<Config>("default");
  Quib::Ptr<Status> status = Quib::make<Status>("default");
  Quib::Ptr<Interface::DeviceIntfStatusDir> devices = Quib::make<Interface::DeviceIntfStatusDir>("devices");
  Quib::Ptr<KeyToSync> keyToSync = Quib::make<KeyToSync>(L3::VrfName("default"));
  Quib::Ptr<Table> best = Quib::make<Table>("pim");
  Quib::Ptr<Table> other = Quib::make<Table>("static");
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("default");
  std::vector<Plix::IntfId> intfs;

  Quib::Ptr<KernelMfibSm> machine() {
    auto sm = KernelMfibSm::KernelMfibSmIs(L3::VrfName("default"), Plix::AddressFamily::ipv4, nullptr, config, status,
                                           devices, Plix::NamespaceName::defaultNamespace(), am.clock(), keyToSync);
    sm->mfibHalmDirIs(coll);
    return sm;
  }
};

// Forwards every call to a simulated kernel and keeps what the agent sent: the set-up
// calls before the first MRT_ADD_MFC whole, each MRT_ADD_MFC as its fields, so that the
// same calls can be made again without the agent. What comes after the adds (the machine's
// MRT_DONE as it goes) is not set-up: replayed first, it would have the kernel refuse them.
class Recorder : public Kernel::Backend {
 public:
  struct Call {
    int level, option;
    std::vector<std::uint8_t> bytes;
  };
  struct Add {
    std::uint8_t source[4], group[4];
    std::uint16_t parent;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> ttls;
  };

  explicit Recorder(::Kernel::SimKernel& kernel) : kernel_(kernel) {}
  int socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) override {
    socketArgs = {family, type, protocol};
    return kernel_.socketAt(family, type, protocol, ns);
  }
  int setsockopt(int fd, int level, int option, void const* value, socklen_t len) override {
    auto const* bytes = static_cast<std::uint8_t const*>(value);
    if (option != 204 || len != 540) {
      if (adds.empty()) setup.push_back({level, option, std::vector<std::uint8_t>(bytes, bytes + len)});
      return kernel_.setsockopt(fd, level, option, value, len);
    }
    Add a{};
    std::memcpy(a.source, bytes, 4);
    std::memcpy(a.group, bytes + 4, 4);
    std::memcpy(&a.parent, bytes + 8, 2);
    for (std::uint16_t vif = 0; vif < 512; ++vif) {
      if (bytes[28 + vif]) a.ttls.emplace_back(vif, bytes[28 + vif]);
    }
    adds.push_back(std::move(a));
    return kernel_.setsockopt(fd, level, option, value, len);
  }
  int ioctl(int fd, unsigned long request, void* arg) override { return kernel_.ioctl(fd, request, arg); }
  int close(int fd) override { return kernel_.close(fd); }
  int writeProcSys(std::string const& path, std::string const& value, Plix::NamespaceName const& ns) override {
    return kernel_.writeProcSys(path, value, ns);
  }
  std::vector<Kernel::NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override {
    return kernel_.snapshot(ns);
  }

  std::array<int, 3> socketArgs{};
  std::vector<Call> setup;
  std::vector<Add> adds;

 private:
  ::Kernel::SimKernel& kernel_;
};

// The calls a review made, made again on a fresh kernel: the socket and set-up calls, then,
// timed, every MRT_ADD_MFC in the review's order, each record built as the agent builds it.
// Returns the CPU seconds of the MRT_ADD_MFC loop; `refused` counts the adds that failed.
double bareLoop(::Kernel::SimKernel& kernel, Recorder const& recorded, std::size_t& refused) {
  ::Kernel::Backend::Use use(kernel);
  auto const ns = Plix::NamespaceName::defaultNamespace();
  auto const& [family, type, protocol] = recorded.socketArgs;
  int const fd = Plix::socketAt(family, type, protocol, ns);
  for (auto const& c : recorded.setup) {
    Plix::setsockopt(fd, c.level, c.option, c.bytes.data(), static_cast<socklen_t>(c.bytes.size()));
  }
  std::uint8_t record[540];
  double const start = cpuSeconds();
  for (auto const& a : recorded.adds) {
    std::memset(record, 0, sizeof record);
    std::memcpy(record, a.source, 4);
    std::memcpy(record + 4, a.group, 4);
    std::memcpy(record + 8, &a.parent, 2);
    for (auto const& [vif, ttl] : a.ttls) record[28 + vif] = ttl;
    refused += Plix::setsockopt(fd, IPPROTO_IP, 204, record, sizeof record) != 0;
  }
  return cpuSeconds() - start;
}

// Starts the machine and runs its full review to the end; virtual time does not move
// while it works, so the review is one slice.
template <class Kernel>
void fullReview(benchmark::State& state) {
  std::uint32_t const routes = static_cast<std::uint32_t>(state.range(0));
  World world(routes, static_cast<int>(state.range(1)));
  std::uint64_t allocs = 0;
  std::size_t heapGrowth = 0;
  double reviewCpu = 0, bareCpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Kernel kernel;
    if constexpr (std::is_same_v<Kernel, ::Kernel::SimKernel>) kernel.recordingIs(false);
    ::Kernel::Backend::Use use(kernel);
    auto sm = world.machine();
    std::size_t const heapBefore = heapInUse();
    std::uint64_t const allocsBefore = allocations.load();
    state.ResumeTiming();
    double const start = cpuSeconds();
    world.am.loop().advance(0);
    reviewCpu = cpuSeconds() - start;
    state.PauseTiming();
    if (!sm->reviewedOnce()) state.SkipWithError("the review did not finish in one slice");
    allocs = allocations.load() - allocsBefore;
    heapGrowth = heapInUse() - heapBefore;
    if constexpr (std::is_same_v<Kernel, ::Kernel::SimKernel>) {
      auto const ns = Plix::NamespaceName::defaultNamespace();
      // Read while the machine lives: its routing socket takes the MFC along when it closes.
      std::vector<::Kernel::NamespaceSnapshot::Mfc> reviewed;
      if (routes <= 100'000) reviewed = std::move(kernel.snapshot(ns).front().mfcs);
      // The same review again, recorded, then its calls alone on a third kernel.
      sm = nullptr;
      ::Kernel::SimKernel recordedKernel, bare;
      recordedKernel.recordingIs(false);
      bare.recordingIs(false);
      Recorder recorder(recordedKernel);
      {
        ::Kernel::Backend::Use recording(recorder);
        sm = world.machine();
        world.am.loop().advance(0);
        sm = nullptr;
      }
      std::size_t refused = 0;
      bareCpu = bareLoop(bare, recorder, refused);
      if (recorder.adds.size() != routes) state.SkipWithError("the recorded review made another number of adds");
      if (refused != 0) state.SkipWithError("the kernel refused adds of the bare loop");
      if (routes <= 100'000 && bare.snapshot(ns).front().mfcs != reviewed) {
        state.SkipWithError("the bare loop left another MFC than the review");
      }
    }
    sm = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * routes);
  state.counters["allocs_per_route"] = static_cast<double>(allocs) / routes;
  state.counters["kernel_bytes_per_route"] = static_cast<double>(heapGrowth) / routes;
  if (bareCpu > 0) {
    state.counters["bare_us_per_call"] = bareCpu * 1e6 / routes;
    state.counters["review_us_per_route"] = reviewCpu * 1e6 / routes;
    state.counters["review_over_bare"] = reviewCpu / bareCpu;
  }
}

// After the full review, `changes` routes of the preferred table change (their outgoing
// interfaces move on by one); the changed-route review programs them in one slice. The
// heap is read around the changes alone, with the old and new interface lists held
// outside, so it counts what the pending set keeps per change.
template <class Kernel>
void changedReview(benchmark::State& state) {
  std::uint32_t const routes = static_cast<std::uint32_t>(state.range(0));
  std::uint32_t const changes = static_cast<std::uint32_t>(state.range(1));
  World world(routes, 1);
  double pendingBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Kernel kernel;
    if constexpr (std::is_same_v<Kernel, ::Kernel::SimKernel>) kernel.recordingIs(false);
    ::Kernel::Backend::Use use(kernel);
    auto sm = world.machine();
    world.am.loop().advance(0);
    std::vector<Route> old, fresh;
    old.reserve(changes);
    fresh.reserve(changes);
    std::uint32_t const stride = routes / changes;
    for (std::uint32_t c = 0; c < changes; ++c) {
      old.push_back(world.best->route(keyOf(c * stride)));
      fresh.push_back(routeOf(c * stride, world.intfs, 1));
    }
    std::size_t const heapBefore = heapInUse();
    for (auto const& r : fresh) world.best->routeIs(r);
    pendingBytes = static_cast<double>(heapInUse() - heapBefore) / changes;
    if (sm->changedRoute().size() != changes) state.SkipWithError("changes missing from the pending set");
    state.ResumeTiming();
    // Far enough for the review timer's pacing; the review itself takes no virtual time.
    world.am.loop().advance(10);
    state.PauseTiming();
    if (!sm->changedRoute().empty()) state.SkipWithError("the changed review did not finish in one slice");
    sm = nullptr;
    for (auto const& r : old) world.best->routeIs(r);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * changes);
  state.counters["pending_B_per_change"] = pendingBytes;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("VORLAK_DISABLE", "1", 1);
  for (long n : {100'000L, 1'000'000L}) {
    for (long tables : {1L, 2L}) {
      benchmark::RegisterBenchmark("FullReview/SimKernel", fullReview<Kernel::SimKernel>)
          ->ArgNames({"routes", "tables"})->Args({n, tables})->Iterations(1)->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("FullReview/NullKernel", fullReview<NullKernel>)
          ->ArgNames({"routes", "tables"})->Args({n, tables})->Iterations(1)->Unit(benchmark::kMillisecond);
    }
  }
  // The smaller case is for profiles under valgrind.
  for (long n : {100'000L, 1'000'000L}) {
    benchmark::RegisterBenchmark("ChangedReview/SimKernel", changedReview<Kernel::SimKernel>)
        ->ArgNames({"routes", "changes"})->Args({n, n / 10})->Iterations(3)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ChangedReview/NullKernel", changedReview<NullKernel>)
        ->ArgNames({"routes", "changes"})->Args({n, n / 10})->Iterations(3)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
