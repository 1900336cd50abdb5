#pragma once
// Runs one statement sequence through the real kmfibd host (the agent on the simulated
// kernel, virtual time), lets time pass until every retry and review has run, and compares
// what the kernel and the published status hold with what the reference model says they
// must hold. Each difference is a finding. With the audit off, the agent's defined
// behaviour leaves some differences on purpose; a finding that one of them explains names
// that case and says why in one line, from evidence of the run (the kernel's failed calls,
// the VIFs it lost, the statements given). With the audit on (`audit 30` added to every
// configuration) every finding counts.

#include <string>
#include <vector>

#include "plix/AddressFamily.h"

namespace ModelCheck {

class MirrorCheck {
 public:
  struct Options {
    Plix::AddressFamily af = Plix::AddressFamily::ipv4;
    bool audit = false;
  };

  struct Finding {
    std::string text;
    std::string exception;  // the defined case that explains it; empty: a failure
  };

  struct Outcome {
    bool valid = true;     // false: a statement was refused (the sequence is not a test)
    std::string refusal;
    std::vector<Finding> findings;
    std::vector<std::string> settle;  // the statements that let the run come to rest
    std::size_t entries = 0;          // MFC entries and VIFs the kernel was checked for
    std::size_t vifs = 0;
    bool shared = false;  // machines of two VRFs were in one namespace at some point

    bool failed() const;
  };

  static constexpr double auditPeriod = 30;

  // Whether this build's statement language knows the audit.
  static bool auditSupported(Plix::AddressFamily af);

  static Outcome run(std::vector<std::string> const& script, Options const& options);

  // The script as a scenario: the statements, the settling, and what to show.
  static std::string scenario(std::vector<std::string> const& script, Options const& options,
                              Outcome const& outcome);
};

}  // namespace ModelCheck
