// The simulated kernel's MFC store alone, without the socket-option path: adds of new keys
// in key order (a full review), then replaces of keys spread over a full store (a changed-
// route review). Figures are per add, from CPU time.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "kernel/MfcStore.h"

namespace {

using Kernel::MfcStore;

MfcStore::Entry entryOf(std::uint32_t k, std::uint16_t shift) {
  MfcStore::Entry e{};
  e.source[0] = 10;
  e.source[1] = static_cast<std::uint8_t>(k >> 16);
  e.source[2] = static_cast<std::uint8_t>(k >> 8);
  e.source[3] = static_cast<std::uint8_t>(k);
  e.group[0] = 239;
  e.group[3] = static_cast<std::uint8_t>(k % 251);
  e.iif = static_cast<std::uint16_t>(k % 64);
  // Three of 64 VIFs, moving on with the key, as the full-review benchmark's routes do.
  for (std::uint16_t o = 1; o <= 3; ++o) e.oifs.set(static_cast<std::uint16_t>((k + o + shift) % 64));
  return e;
}

void add(benchmark::State& state) {
  auto const entries = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<MfcStore>();
    state.ResumeTiming();
    for (std::uint32_t k = 0; k < entries; ++k) store->entryIs(entryOf(k, 0));
    benchmark::DoNotOptimize(store->size());
    state.PauseTiming();
    if (store->size() != entries) state.SkipWithError("the store lost adds");
    store.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * entries);
}

void replace(benchmark::State& state) {
  auto const entries = static_cast<std::uint32_t>(state.range(0));
  std::uint32_t const changes = entries / 10, stride = 10;
  MfcStore store;
  for (std::uint32_t k = 0; k < entries; ++k) store.entryIs(entryOf(k, 0));
  benchmark::DoNotOptimize(store.size());
  std::uint16_t shift = 0;
  for (auto _ : state) {
    ++shift;
    for (std::uint32_t c = 0; c < changes; ++c) store.entryIs(entryOf(c * stride, shift));
    benchmark::DoNotOptimize(store.size());
  }
  if (store.size() != entries) state.SkipWithError("a replace added an entry");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * changes);
}

}  // namespace

BENCHMARK(add)->Name("MfcStore/Add")->ArgName("entries")->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(replace)->Name("MfcStore/Replace")->ArgName("entries")->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
