#include "tools/modelcheck/Shrinker.h"

namespace ModelCheck {

std::vector<std::string> Shrinker::shrink(std::vector<std::string> script, MirrorCheck::Options const& options) {
  return shrink(std::move(script),
                [&](std::vector<std::string> const& candidate) { return MirrorCheck::run(candidate, options).failed(); });
}

std::vector<std::string> Shrinker::shrink(std::vector<std::string> script, Fails const& fails) {
  for (bool progress = true; progress;) {
    progress = false;
    for (std::size_t chunk = script.size() / 2; chunk >= 1; chunk /= 2) {
      for (std::size_t at = 0; at < script.size();) {
        std::vector<std::string> candidate(script.begin(), script.begin() + static_cast<long>(at));
        std::size_t const end = std::min(script.size(), at + chunk);
        candidate.insert(candidate.end(), script.begin() + static_cast<long>(end), script.end());
        if (fails(candidate)) {
          script = std::move(candidate);
          progress = true;
          continue;
        }
        at += chunk;
      }
    }
  }
  return script;
}

}  // namespace ModelCheck
