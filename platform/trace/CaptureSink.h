#pragma once
// A sink that keeps every line in memory, for tests to assert on the texts that matter.
// Install it with a SinkScope for the test's duration.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "trace/Sink.h"

namespace Trace {

class CaptureSink : public Sink {
 public:
  struct Captured {
    std::string handle;
    int level;
    std::string text;
    double time;

    friend bool operator==(Captured const&, Captured const&) = default;
    friend std::ostream& operator<<(std::ostream& os, Captured const& c) {
      return os << c.handle << '/' << c.level << " \"" << c.text << "\" @" << c.time;
    }
  };

  CaptureSink() = default;

  void write(double time, std::string_view handle, int level, std::string_view text) override;

  std::vector<Captured> const& lines() const { return lines_; }
  // Texts in order of arrival, of one handle or, with an empty name, of all.
  std::vector<std::string> texts(std::string_view handle = {}) const;
  // Whether a line's whole text equals text.
  bool contains(std::string_view text) const;
  bool containsSubstring(std::string_view part) const;
  std::size_t count(std::string_view handle, int level) const;
  void clear() { lines_.clear(); }

 private:
  std::vector<Captured> lines_;
};

}  // namespace Trace
