// Route tables at scale: building one, looking keys up in random order, the ordered walk,
// and the walk of a VRF's two tables with the best-route choice per key. Each benchmark
// reports routes per second; the build also reports the heap one route costs in a table,
// measured from the allocator's own count rather than estimated from type sizes.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "halm/IpGenRouteKey.h"
#include "halm/MfibHalmColl.h"
#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "halm/Route.h"
#include "halm/Status.h"
#include "plix/IntfId.h"
#include "plix/IpGenPrefix.h"

namespace {

using Halm::Multicast::Fib::MfibHalmColl;
using Halm::Multicast::Fib::MfibHalmCollRouteIteratorConst;
using Halm::Multicast::Fib::Route;
using Halm::Multicast::Fib::Status;
using Routing::Multicast::Fib::IpGenRouteKey;

constexpr std::size_t interfaceCount = 64;
constexpr std::uint32_t groupCount = 4096;
constexpr std::uint64_t seed = 20240601;

using Bench::heapInUse;
using Bench::hostPrefix;

// Distinct for every i below 2^24: the source carries i, the group spreads sources over
// a few thousand groups so walks see runs of sources per group.
IpGenRouteKey keyOf(std::uint32_t i) {
  return IpGenRouteKey(hostPrefix(10, i), hostPrefix(239, i % groupCount));
}

struct IntfPick {
  Plix::IntfId iif;
  std::array<Plix::IntfId, 4> oifs;
  std::uint8_t oifCount = 0;
};

enum class IntfSets { drawn, same };

// What a writer would put in a table: keys in random insertion order and, per key, an iif
// and 2-4 distinct oifs out of 64 interfaces.
struct Inputs {
  std::vector<IpGenRouteKey> keys;
  std::vector<IntfPick> picks;

  Inputs(std::uint32_t first, std::size_t n, IntfSets sets) {
    std::mt19937_64 rng(seed + first + n);
    std::vector<Plix::IntfId> intfs;
    for (std::size_t i = 1; i <= interfaceCount; ++i) intfs.emplace_back("Ethernet" + std::to_string(i));
    keys.reserve(n);
    for (std::size_t i = 0; i < n; ++i) keys.push_back(keyOf(first + static_cast<std::uint32_t>(i)));
    std::shuffle(keys.begin(), keys.end(), rng);
    picks.resize(n);
    std::uniform_int_distribution<std::size_t> anyIntf(0, interfaceCount - 1);
    std::uniform_int_distribution<int> oifCount(2, 4);
    for (auto& p : picks) {
      if (sets == IntfSets::same) {
        p = IntfPick{intfs[0], {intfs[1], intfs[2], intfs[3]}, 3};
        continue;
      }
      p.iif = intfs[anyIntf(rng)];
      p.oifCount = static_cast<std::uint8_t>(oifCount(rng));
      for (std::size_t k = 0; k < p.oifCount;) {
        auto const o = intfs[anyIntf(rng)];
        if (o == p.iif || std::find(p.oifs.begin(), p.oifs.begin() + k, o) != p.oifs.begin() + k) continue;
        p.oifs[k++] = o;
      }
    }
  }

  std::size_t size() const { return keys.size(); }

  Route route(std::size_t i) const {
    auto const& p = picks[i];
    std::vector<Plix::IntfId> const oifs(p.oifs.begin(), p.oifs.begin() + p.oifCount);
    return Route(keys[i], p.iif, oifs, 0);
  }

  Quib::Ptr<Status> table(Quib::Name name) const {
    auto t = Quib::make<Status>(std::move(name));
    for (std::size_t i = 0; i < size(); ++i) t->routeIs(route(i));
    return t;
  }
};

// One table and its keys in a random probe order.
struct Loaded {
  Quib::Ptr<Status> table;
  std::vector<IpGenRouteKey> probes;
};

// Two tables of one VRF of n routes each; the second holds half of the first's keys and
// n/2 of its own, and ranks after the first.
struct Pair {
  Quib::Ptr<MfibHalmColl> coll;
  std::size_t routes = 0;
};

// Big tables are built once per size and shared by the benchmarks that only read them,
// because building a million routes costs far more than one timed pass over them.
class Samples {
 public:
  Samples() = default;
  Samples(Samples const&) = delete;
  Samples& operator=(Samples const&) = delete;

  Inputs const& inputs(std::size_t n, IntfSets sets) {
    return inputs_.try_emplace({n, sets}, 0, n, sets).first->second;
  }

  Loaded const& loaded(std::size_t n) {
    auto it = loaded_.find(n);
    if (it != loaded_.end()) return it->second;
    auto const& in = inputs(n, IntfSets::drawn);
    Loaded l{in.table("mroute"), in.keys};
    // The key order is made at a table's first walk; walks are timed without it.
    benchmark::DoNotOptimize(l.table->begin());
    std::shuffle(l.probes.begin(), l.probes.end(), std::mt19937_64(seed + 1));
    return loaded_.emplace(n, std::move(l)).first->second;
  }

  Pair const& pair(std::size_t n) {
    auto it = pairs_.find(n);
    if (it != pairs_.end()) return it->second;
    // The single tables are not needed again; free them before building two more.
    loaded_.clear();
    inputs_.clear();
    auto coll = Quib::make<MfibHalmColl>("red");
    auto first = Inputs(0, n, IntfSets::drawn).table("a");
    auto second = Inputs(static_cast<std::uint32_t>(n / 2), n, IntfSets::drawn).table("b");
    second->preferenceIs(Status::defaultPreference + 1);
    benchmark::DoNotOptimize(first->begin());
    benchmark::DoNotOptimize(second->begin());
    coll->halmPtrIs(first);
    coll->halmPtrIs(second);
    return pairs_.emplace(n, Pair{coll, 2 * n}).first->second;
  }

 private:
  std::map<std::pair<std::size_t, IntfSets>, Inputs> inputs_;
  std::map<std::size_t, Loaded> loaded_;
  std::map<std::size_t, Pair> pairs_;
};

// The timed part is routeIs and the first walk's start, which puts the keys in order; the
// routes handed to it are built beforehand. The heap figure covers everything the table
// holds once those routes are gone: the routes, the hash index, the ordered index and each
// route's interface list.
void build(benchmark::State& state, Samples& samples, IntfSets sets) {
  auto const n = static_cast<std::size_t>(state.range(0));
  auto const& in = samples.inputs(n, sets);
  double bytesPerRoute = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::size_t const before = heapInUse();
    std::vector<Route> routes;
    routes.reserve(n);
    for (std::size_t i = 0; i < n; ++i) routes.push_back(in.route(i));
    auto table = Quib::make<Status>("mroute");
    state.ResumeTiming();
    for (auto const& r : routes) table->routeIs(r);
    // The key order is made by the first walk; it belongs to the cost of filling.
    benchmark::DoNotOptimize(table->begin());
    state.PauseTiming();
    routes = std::vector<Route>();  // `= {}` would keep the buffer and count it
    bytesPerRoute = static_cast<double>(heapInUse() - before) / static_cast<double>(n);
    if (table->routes() != n) state.SkipWithError("routes missing from the table");
    table = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
  state.counters["heap_B_per_route"] = bytesPerRoute;
}

void lookup(benchmark::State& state, Samples& samples) {
  auto const& l = samples.loaded(static_cast<std::size_t>(state.range(0)));
  std::size_t next = 0;
  std::int64_t found = 0;
  for (auto _ : state) {
    Route r = l.table->route(l.probes[next]);
    found += !r.iif().empty();
    benchmark::DoNotOptimize(r);
    if (++next == l.probes.size()) next = 0;
  }
  if (found != state.iterations()) state.SkipWithError("a probe missed its route");
  state.SetItemsProcessed(state.iterations());
}

void walk(benchmark::State& state, Samples& samples) {
  auto const n = static_cast<std::size_t>(state.range(0));
  auto const& table = *samples.loaded(n).table;
  for (auto _ : state) {
    std::size_t seen = 0;
    unsigned sum = 0;
    // Reading a byte of each key makes the walk touch the keys, not only the index.
    for (auto const& k : table) {
      sum += k.source().address()[3];
      ++seen;
    }
    benchmark::DoNotOptimize(sum);
    if (seen != n) state.SkipWithError("the walk missed routes");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

void crossWalk(benchmark::State& state, Samples& samples) {
  auto const n = static_cast<std::size_t>(state.range(0));
  auto const& p = samples.pair(n);
  std::size_t best = 0;
  for (auto _ : state) {
    std::size_t seen = 0;
    best = 0;
    for (MfibHalmCollRouteIteratorConst it(p.coll); !it.done(); it.updateToBestRouteIterators()) {
      best += p.coll->isBestRoute(it.table(), it.key());
      ++seen;
    }
    if (seen != p.routes) state.SkipWithError("the walk missed routes");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(p.routes));
  // All of the first table and the half of the second it does not hold.
  state.counters["best_routes"] = static_cast<double>(best);
}

void sizes(benchmark::internal::Benchmark* b, benchmark::TimeUnit unit) {
  b->ArgName("routes")->Arg(100'000)->Arg(1'000'000)->Unit(unit);
}

}  // namespace

int main(int argc, char** argv) {
  Samples samples;
  sizes(benchmark::RegisterBenchmark(
            "Build/drawn_intfs", [&](benchmark::State& s) { build(s, samples, IntfSets::drawn); }),
        benchmark::kMillisecond);
  sizes(benchmark::RegisterBenchmark(
            "Build/same_intfs", [&](benchmark::State& s) { build(s, samples, IntfSets::same); }),
        benchmark::kMillisecond);
  sizes(benchmark::RegisterBenchmark("Lookup/random", [&](benchmark::State& s) { lookup(s, samples); }),
        benchmark::kNanosecond);
  sizes(benchmark::RegisterBenchmark("Walk/ordered", [&](benchmark::State& s) { walk(s, samples); }),
        benchmark::kMillisecond);
  sizes(benchmark::RegisterBenchmark("Walk/two_tables_best",
                                     [&](benchmark::State& s) { crossWalk(s, samples); }),
        benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
