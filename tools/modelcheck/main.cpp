// modelcheck: runs random statement sequences through the kmfibd host and checks the kernel
// against the reference model; `modelcheck --seed N --count N [--length N]`.

#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/modelcheck/Campaign.h"
#include "trace/Registry.h"

int main(int argc, char** argv) {
  ModelCheck::Campaign::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string const arg = argv[i];
    auto const value = std::strtoull(argv[i + 1], nullptr, 10);
    if (arg == "--seed") {
      options.seed = value;
    } else if (arg == "--count") {
      options.count = value;
    } else if (arg == "--length") {
      options.length = static_cast<int>(value);
    } else {
      std::cerr << "usage: modelcheck [--seed N] [--count N] [--length N]\n";
      return 2;
    }
  }
  if (argc % 2 == 0) {
    std::cerr << "usage: modelcheck [--seed N] [--count N] [--length N]\n";
    return 2;
  }
  setenv("VORLAK_DISABLE", "1", 0);
  auto const result = ModelCheck::Campaign::run(options, std::cout);
  ModelCheck::Campaign::summary(result, std::cout);
  return result.failures ? 1 : 0;
}
