#include "tools/modelcheck/Campaign.h"

#include "tools/modelcheck/Generator.h"
#include "tools/modelcheck/MirrorCheck.h"
#include "tools/modelcheck/Shrinker.h"

namespace ModelCheck {

Campaign::Result Campaign::run(Options const& options, std::ostream& out) {
  Result result;
  for (std::uint64_t seed = options.seed; seed < options.seed + options.count; ++seed) {
    auto const af = options.bothFamilies && seed % 2 ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
    auto const script = Generator(seed, af).script(options.length);
    bool shared = false;
    for (bool audit : {false, true}) {
      if (audit && !MirrorCheck::auditSupported(af)) continue;
      // One namespace's kernel routes for one socket: where two VRFs' machines met in one,
      // nothing can bring the kernel to both, and the audit has nothing to be held to.
      if (audit && shared) {
        ++result.sharedSkipped;
        continue;
      }
      MirrorCheck::Options const check{af, audit};
      auto const outcome = MirrorCheck::run(script, check);
      shared = outcome.shared;
      ++result.sequences;
      result.entries += outcome.entries;
      result.vifs += outcome.vifs;
      if (!outcome.valid) {
        ++result.failures;
        out << "seed " << seed << ": the generator wrote a refused statement: " << outcome.refusal << "\n";
        continue;
      }
      for (auto const& f : outcome.findings) {
        if (!f.exception.empty()) ++result.exceptions[f.exception.substr(0, f.exception.find(':'))];
      }
      if (!outcome.failed()) continue;
      ++result.failures;
      for (auto const& f : outcome.findings) {
        if (f.exception.empty()) out << "seed " << seed << " finding: " << f.text << "\n";
      }
      auto const shortest = Shrinker::shrink(script, check);
      auto const again = MirrorCheck::run(shortest, check);
      out << "seed " << seed << " (IPv" << (af == Plix::AddressFamily::ipv6 ? 6 : 4) << ", audit "
          << (audit ? "on" : "off") << ") fails; " << shortest.size() << " of " << script.size()
          << " statements still fail:\n"
          << MirrorCheck::scenario(shortest, check, again) << "\n";
    }
  }
  return result;
}

void Campaign::summary(Result const& result, std::ostream& out) {
  out << result.sequences << " sequences, " << result.failures << " failing; " << result.entries << " MFC entries and "
      << result.vifs << " VIFs checked at rest; " << result.sharedSkipped
      << " sequences with a shared namespace not run with the audit on\n";
  for (auto const& [name, n] : result.exceptions) out << "  exception " << name << ": " << n << "\n";
}

}  // namespace ModelCheck
