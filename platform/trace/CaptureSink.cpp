#include "trace/CaptureSink.h"

namespace Trace {

void CaptureSink::write(double time, std::string_view handle, int level, std::string_view text) {
  lines_.push_back({std::string(handle), level, std::string(text), time});
}

std::vector<std::string> CaptureSink::texts(std::string_view handle) const {
  std::vector<std::string> result;
  for (auto const& line : lines_) {
    if (handle.empty() || line.handle == handle) result.push_back(line.text);
  }
  return result;
}

bool CaptureSink::contains(std::string_view text) const {
  for (auto const& line : lines_) {
    if (line.text == text) return true;
  }
  return false;
}

bool CaptureSink::containsSubstring(std::string_view part) const {
  for (auto const& line : lines_) {
    if (line.text.find(part) != std::string::npos) return true;
  }
  return false;
}

std::size_t CaptureSink::count(std::string_view handle, int level) const {
  std::size_t n = 0;
  for (auto const& line : lines_) {
    if (line.handle == handle && line.level == level) ++n;
  }
  return n;
}

}  // namespace Trace
