#pragma once
// The status of every interface of the system, keyed by interface. The agent creates it
// locally at "interface/status/all" and hands it to the per-namespace interface-status
// managers, which take each interface's kernel device from it.

#include <string_view>

#include "entities/IntfStatusDir.h"

namespace Interface {

class AllIntfStatusDir : public IntfStatusDir {
 public:
  static constexpr std::string_view type = "Interface::AllIntfStatusDir";

  explicit AllIntfStatusDir(Quib::Name name);
  std::string_view typeName() const override { return type; }
};

}  // namespace Interface
