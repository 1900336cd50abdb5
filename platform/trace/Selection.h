#pragma once
// Which trace levels are on, per handle name, parsed from text such as
// "KernelMfibSm/0-9,KernelMfibAgent/3". Entries are separated by commas (spaces around them
// are ignored); each is NAME (all levels), NAME/N or NAME/N-M, with levels 0 to 9. The name
// "*" selects every handle, including those created later. Levels of all entries matching a
// handle add up. The empty text turns everything off.

#include <string>
#include <string_view>
#include <vector>

#include "trace/Handle.h"

namespace Trace {

class Selection {
 public:
  Selection() = default;

  // Throws std::invalid_argument naming the offending entry and why it is wrong.
  static Selection parse(std::string_view text);

  Handle::Levels levelsFor(std::string_view handleName) const;
  std::string const& text() const { return text_; }
  // The handle names the entries select, "*" included, in the order written.
  std::vector<std::string> names() const;

 private:
  struct Entry {
    std::string name;
    Handle::Levels levels;
  };
  static Entry parseEntry(std::string_view whole, std::string_view piece);

  std::vector<Entry> entries_;
  std::string text_;
};

}  // namespace Trace
