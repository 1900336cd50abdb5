// The fuzz targets' short run inside the test suite: every seed of the corpus, then seeded
// mutations of them (bytes flipped, inserted, cut, lines spliced from another seed), through
// the same bodies libFuzzer drives. A crash, a trap, an exception other than a refusal, or
// (under the asan preset) a sanitizer report fails the test; the long runs use libFuzzer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fuzz/SimKernelRecordFuzz.h"
#include "fuzz/StatementParserFuzz.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> corpus(char const* name) {
  std::vector<fs::path> files;
  for (auto const& entry : fs::directory_iterator(fs::path(KMFIB_SOURCE_DIR) / "fuzz" / "corpus" / name)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());  // directory order is not stable across machines
  std::vector<Bytes> seeds;
  for (auto const& file : files) {
    std::ifstream in(file, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}

// One to four edits of a seed; bytes are drawn from what the seeds hold half of the time, so
// mutants stay near the language or record layout instead of becoming noise at once.
Bytes mutate(std::vector<Bytes> const& seeds, std::mt19937& random) {
  auto draw = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound)(random); };
  Bytes out = seeds[draw(seeds.size() - 1)];
  Bytes const& other = seeds[draw(seeds.size() - 1)];
  auto byte = [&]() -> std::uint8_t {
    if (draw(1) && !other.empty()) return other[draw(other.size() - 1)];
    return static_cast<std::uint8_t>(draw(255));
  };
  for (std::size_t edits = 1 + draw(3); edits > 0; --edits) {
    switch (draw(4)) {
      case 0:
        if (!out.empty()) out[draw(out.size() - 1)] = byte();
        break;
      case 1:
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(draw(out.size())), byte());
        break;
      case 2:
        if (!out.empty()) {
          std::size_t const from = draw(out.size() - 1);
          out.erase(out.begin() + static_cast<std::ptrdiff_t>(from),
                    out.begin() + static_cast<std::ptrdiff_t>(std::min(out.size(), from + 1 + draw(15))));
        }
        break;
      case 3:
        if (!out.empty()) out[draw(out.size() - 1)] ^= static_cast<std::uint8_t>(1u << draw(7));
        break;
      default: {
        // A piece of another seed put somewhere in this one.
        if (other.empty()) break;
        std::size_t const from = draw(other.size() - 1);
        std::size_t const to = std::min(other.size(), from + 1 + draw(63));
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(draw(out.size())),
                   other.begin() + static_cast<std::ptrdiff_t>(from), other.begin() + static_cast<std::ptrdiff_t>(to));
      }
    }
  }
  return out;
}

struct Target {
  char const* corpus;
  int (*run)(std::uint8_t const*, std::size_t);
  int mutants;
};

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SeedsAndTheirMutantsAreHandled) {
  auto const& target = GetParam();
  auto const seeds = corpus(target.corpus);
  ASSERT_GE(seeds.size(), 3u) << "the seed corpus is there";
  for (auto const& seed : seeds) EXPECT_NO_THROW(target.run(seed.data(), seed.size()));
  std::mt19937 random(20261206);
  std::set<Bytes> distinct;
  for (int i = 0; i < target.mutants; ++i) {
    Bytes const input = mutate(seeds, random);
    distinct.insert(input);
    EXPECT_NO_THROW(target.run(input.data(), input.size())) << "mutant " << i;
  }
  // A mutator that returned its seeds would make this test pass on nothing.
  EXPECT_GT(distinct.size(), static_cast<std::size_t>(target.mutants) * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::Values(Target{"statements", statementParserFuzz, 800},
                                         Target{"records", simKernelRecordFuzz, 4000}),
                         [](auto const& info) { return std::string(info.param.corpus); });

}  // namespace
