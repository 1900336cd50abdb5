#include "trace/Selection.h"

#include <charconv>
#include <stdexcept>

namespace Trace {

namespace {

std::string_view trimmed(std::string_view s) {
  auto const first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  auto const last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

[[noreturn]] void refuse(std::string_view whole, std::string_view piece, std::string const& why) {
  throw std::invalid_argument("trace selection \"" + std::string(whole) + "\": entry \"" +
                              std::string(piece) + "\": " + why);
}

int parseLevel(std::string_view whole, std::string_view piece, std::string_view text) {
  unsigned value = 0;
  auto const* end = text.data() + text.size();
  auto const [ptr, ec] = std::from_chars(text.data(), end, value);
  bool const digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
  if (!digitsOnly || (ec != std::errc() && ec != std::errc::result_out_of_range) || ptr != end) {
    refuse(whole, piece, std::string("\"").append(text).append("\" is not a level"));
  }
  if (ec == std::errc::result_out_of_range || value > static_cast<unsigned>(Handle::maxLevel)) {
    refuse(whole, piece, std::string("level ").append(text).append(" is not in 0-9"));
  }
  return static_cast<int>(value);
}

}  // namespace

Selection Selection::parse(std::string_view text) {
  Selection selection;
  selection.text_ = std::string(text);
  if (trimmed(text).empty()) return selection;
  std::size_t start = 0;
  while (true) {
    auto const comma = text.find(',', start);
    auto const piece = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    selection.entries_.push_back(parseEntry(text, trimmed(piece)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return selection;
}

Selection::Entry Selection::parseEntry(std::string_view whole, std::string_view piece) {
  if (piece.empty()) refuse(whole, piece, "empty entry");
  auto const slash = piece.find('/');
  auto const name = piece.substr(0, slash);
  if (name.empty()) refuse(whole, piece, "no handle name before '/'");
  if (name != "*") {
    try {
      Handle::checkName(name);
    } catch (std::invalid_argument const& e) {
      refuse(whole, piece, e.what());
    }
  }
  if (slash == std::string_view::npos) return {std::string(name), Handle::allLevels};

  auto const levels = piece.substr(slash + 1);
  if (levels.empty()) refuse(whole, piece, "no levels after '/'");
  auto const dash = levels.find('-');
  if (dash == std::string_view::npos) {
    auto const level = parseLevel(whole, piece, levels);
    return {std::string(name), static_cast<Handle::Levels>(1u << level)};
  }
  auto const low = parseLevel(whole, piece, levels.substr(0, dash));
  auto const high = parseLevel(whole, piece, levels.substr(dash + 1));
  if (low > high) refuse(whole, piece, "range " + std::string(levels) + " runs backwards");
  auto const mask = ((1u << (high + 1)) - 1u) & ~((1u << low) - 1u);
  return {std::string(name), static_cast<Handle::Levels>(mask)};
}

Handle::Levels Selection::levelsFor(std::string_view handleName) const {
  Handle::Levels levels = 0;
  for (auto const& entry : entries_) {
    if (entry.name == "*" || entry.name == handleName) levels |= entry.levels;
  }
  return levels;
}

std::vector<std::string> Selection::names() const {
  std::vector<std::string> names;
  for (auto const& entry : entries_) names.push_back(entry.name);
  return names;
}

}  // namespace Trace
