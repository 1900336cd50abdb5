#pragma once
// Writes random, valid statement sequences from a seed: the same seed always gives the same
// script. Namespaces and devices come and go, VRFs move between namespaces, configurations
// have small `max`, several applications request and withdraw interfaces, tables have equal
// and different preferences, routes carry Register flags, "Null0" and switching state, time
// passes in random spans, the agent restarts and the kernel fails chosen calls with errnos
// it really returns. It steers by a reference model so that every statement is accepted;
// now and then two VRFs share a namespace.

#include <cstdint>
#include <string>
#include <vector>

#include "plix/AddressFamily.h"
#include "tools/modelcheck/ReferenceModel.h"

namespace ModelCheck {

class Generator {
 public:
  Generator(std::uint64_t seed, Plix::AddressFamily af);

  // A script of about `length` statements.
  std::vector<std::string> script(int length);

 private:
  std::uint64_t next();
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }
  template <class C>
  auto const& pick(C const& c) {
    auto it = c.begin();
    std::advance(it, static_cast<long>(below(c.size())));
    return *it;
  }

  std::string one();
  std::string platformStatement();
  std::string vrfStatement();
  std::string configStatement();
  std::string requestStatement();
  std::string tableStatement();
  std::string routeStatement();
  std::string faultStatement();
  std::string key();
  bool claimed(std::string const& ns, std::string const& byOther) const;
  void emit(std::vector<std::string>& out, std::string const& line);

  std::uint64_t state_;
  Plix::AddressFamily af_;
  ReferenceModel model_;
};

}  // namespace ModelCheck
