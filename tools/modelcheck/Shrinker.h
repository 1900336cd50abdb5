#pragma once
// Makes a failing statement sequence as short as it can by dropping statements (halves,
// quarters, ... single lines) while the run still fails; a candidate with a refused
// statement does not count as failing.

#include <functional>
#include <string>
#include <vector>

#include "tools/modelcheck/MirrorCheck.h"

namespace ModelCheck {

class Shrinker {
 public:
  using Fails = std::function<bool(std::vector<std::string> const&)>;

  static std::vector<std::string> shrink(std::vector<std::string> script, MirrorCheck::Options const& options);
  static std::vector<std::string> shrink(std::vector<std::string> script, Fails const& fails);
};

}  // namespace ModelCheck
