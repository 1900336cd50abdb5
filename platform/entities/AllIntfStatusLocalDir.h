#pragma once
// The status of the interfaces local to this cell, keyed by interface, in the same shape
// as AllIntfStatusDir. The per-namespace interface-status managers fall back to it for an
// interface that the system-wide directory does not hold.

#include <string_view>

#include "entities/IntfStatusDir.h"

namespace Interface {

class AllIntfStatusLocalDir : public IntfStatusDir {
 public:
  static constexpr std::string_view type = "Interface::AllIntfStatusLocalDir";

  explicit AllIntfStatusLocalDir(Quib::Name name);
  std::string_view typeName() const override { return type; }
};

}  // namespace Interface
