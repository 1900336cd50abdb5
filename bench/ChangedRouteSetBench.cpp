// The pending set of route changes alone, against the std::set it replaced: a burst of
// changes noted among a million keys (every tenth key, arriving in table order, as a
// preference change or a table rewrite brings them), then drained as the review drains it,
// front then erase. Reports the CPU per change for each part and the heap per change.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <set>
#include <type_traits>
#include <vector>

#include "bench/BenchSupport.h"
#include "halm/Status.h"
#include "kernelmfib/ChangedRouteSet.h"

namespace {

using Routing::KernelMfib::ChangedRouteSet;
using TableKey = ChangedRouteSet::TableKey;

// The keys of FullReviewBench: distinct sources over 4096 groups.
ChangedRouteSet::RouteKey keyOf(std::uint32_t i) {
  return {Bench::hostPrefix(10, i), Bench::hostPrefix(239, i % 4096)};
}

template <class Set>
TableKey frontOf(Set const& set) {
  if constexpr (std::is_same_v<Set, std::set<TableKey>>) {
    return *set.begin();
  } else {
    return set.front();
  }
}

template <class Set>
void drain(Set& set) {
  std::uint64_t sum = 0;
  while (!set.empty()) {
    TableKey const k = frontOf(set);
    sum += k.key().source().address()[3];
    set.erase(k);
  }
  benchmark::DoNotOptimize(sum);
}

std::vector<TableKey> noted(benchmark::State const& state, Halm::Multicast::Fib::Status const* table) {
  std::uint32_t const routes = static_cast<std::uint32_t>(state.range(0));
  std::uint32_t const changes = static_cast<std::uint32_t>(state.range(1));
  std::vector<TableKey> out;
  out.reserve(changes);
  for (std::uint32_t c = 0; c < changes; ++c) out.emplace_back(table, keyOf(c * (routes / changes)));
  return out;
}

// Times noting the changes, and reads the heap they hold.
template <class Set>
void insertChanges(benchmark::State& state) {
  auto const table = Quib::make<Halm::Multicast::Fib::Status>("pim");
  auto const changes = noted(state, table.ptr());
  double bytes = 0;
  for (auto _ : state) {
    Set set;
    std::size_t const heapBefore = Bench::heapInUse();
    for (auto const& k : changes) set.insert(k);
    state.PauseTiming();
    bytes = static_cast<double>(Bench::heapInUse() - heapBefore) / static_cast<double>(changes.size());
    if (set.size() != changes.size()) state.SkipWithError("changes missing from the set");
    drain(set);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * changes.size()));
  state.counters["pending_B_per_change"] = bytes;
}

// Times draining them as the review does.
template <class Set>
void drainChanges(benchmark::State& state) {
  auto const table = Quib::make<Halm::Multicast::Fib::Status>("pim");
  auto const changes = noted(state, table.ptr());
  for (auto _ : state) {
    state.PauseTiming();
    Set set;
    for (auto const& k : changes) set.insert(k);
    state.ResumeTiming();
    drain(set);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * changes.size()));
}

void sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"routes", "changes"})->Args({1'000'000, 100'000})->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
  using StdSet = std::set<TableKey>;
  benchmark::RegisterBenchmark("PendingChanges/Insert/ChangedRouteSet", insertChanges<ChangedRouteSet>)->Apply(sizes);
  benchmark::RegisterBenchmark("PendingChanges/Insert/StdSet", insertChanges<StdSet>)->Apply(sizes);
  benchmark::RegisterBenchmark("PendingChanges/Drain/ChangedRouteSet", drainChanges<ChangedRouteSet>)->Apply(sizes);
  benchmark::RegisterBenchmark("PendingChanges/Drain/StdSet", drainChanges<StdSet>)->Apply(sizes);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
