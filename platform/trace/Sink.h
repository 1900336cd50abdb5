#pragma once
// Where finished trace lines go. The registry holds one sink at a time; the host program
// keeps the default (standard error) and tests install a capturing one for their scope.

#include <string_view>

namespace Trace {

class Sink {
 public:
  virtual ~Sink() = default;
  Sink(Sink const&) = delete;
  Sink& operator=(Sink const&) = delete;

  // time comes from the installed time source, in seconds.
  virtual void write(double time, std::string_view handle, int level, std::string_view text) = 0;

 protected:
  Sink() = default;
};

}  // namespace Trace
