#pragma once
// A model-check campaign: sequences from consecutive seeds, each run with the audit off and,
// where the statement language has it, with the audit on. It counts the exceptions the
// audit-off runs named, and for every failing seed prints the shortest failing script.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "plix/AddressFamily.h"

namespace ModelCheck {

class Campaign {
 public:
  struct Options {
    std::uint64_t seed = 1;
    std::uint64_t count = 100;
    int length = 50;
    bool bothFamilies = true;  // odd seeds IPv6
  };

  struct Result {
    std::uint64_t sequences = 0;  // runs, audit off and on counted apart
    std::uint64_t failures = 0;
    std::uint64_t entries = 0;  // MFC entries and VIFs checked at rest
    std::uint64_t vifs = 0;
    std::uint64_t sharedSkipped = 0;  // audit-on runs left out: two VRFs met in a namespace
    std::map<std::string, std::uint64_t> exceptions;  // by the case's name, audit off
  };

  // Progress and failing scripts go to `out`.
  static Result run(Options const& options, std::ostream& out);
  static void summary(Result const& result, std::ostream& out);
};

}  // namespace ModelCheck
