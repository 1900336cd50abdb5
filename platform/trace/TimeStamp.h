#pragma once
// A time in seconds as trace files print it: fixed point with microseconds, "12.000250".
// Text traces and the binary-trace decoder share it so their lines can be merged by eye.

#include <ostream>
#include <string>

namespace Trace {

class TimeStamp {
 public:
  explicit TimeStamp(double seconds) : seconds_(seconds) {}

  std::string text() const;
  friend std::ostream& operator<<(std::ostream& os, TimeStamp const& t) { return os << t.text(); }

 private:
  double seconds_;
};

}  // namespace Trace
