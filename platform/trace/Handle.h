#pragma once
// A named text trace. Each source file keeps one handle, usually from Trace::handle(name),
// and writes lines to it at levels 0 to 9. The handle's level mask, set from the process's
// trace selection, decides which lines are built at all; a disabled level costs one test of the
// mask.

#include <cstdint>
#include <string>
#include <string_view>

#include "trace/Line.h"

namespace Trace {

class Handle {
 public:
  using Levels = std::uint16_t;  // bit N enables level N
  static constexpr int maxLevel = 9;
  static constexpr Levels allLevels = (1u << (maxLevel + 1)) - 1;

  // Refuses, with std::invalid_argument, a name a trace selection could not select: empty, or
  // holding ',', '/', '*' or white space.
  Handle(std::string_view name, Levels levels);
  Handle(Handle const&) = delete;
  Handle& operator=(Handle const&) = delete;

  std::string const& name() const { return name_; }
  Levels levels() const { return levels_; }
  void levelsIs(Levels levels) { levels_ = levels & allLevels; }

  // Levels outside 0 to 9 are never enabled.
  bool enabled(int level) const { return (levels_ >> (static_cast<unsigned>(level) & 15u)) & 1u; }
  Line at(int level) const { return Line(enabled(level) ? this : nullptr, level); }

  // Sends a finished line to the installed sink, whatever the level mask says.
  void write(int level, std::string_view text) const;

  static void checkName(std::string_view name);

 private:
  std::string name_;
  Levels levels_;
};

}  // namespace Trace
