#pragma once
// Turns a line of the kmfibd language into a Statement, or refuses it with a
// StatementError whose text says what is wrong. A line that is blank or only a comment
// gives no statement. Shared by scripts and the control socket.

#include <optional>
#include <stdexcept>
#include <string_view>

#include "plix/AddressFamily.h"
#include "tools/kmfibd/Statement.h"

namespace Kmfibd {

class StatementError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StatementParser {
 public:
  explicit StatementParser(Plix::AddressFamily af) : af_(af) {}

  std::optional<Statement> parse(std::string_view line) const;

 private:
  Plix::AddressFamily af_;
};

}  // namespace Kmfibd
