#pragma once
// A sink writing one text line per trace message to a stream, standard error by default:
// time stamp, the VRF or namespace at work if any, handle/level, then the text, e.g.
// "12.000250 vrf=red KernelMfibSm/8 Namespace name is ns1".
// Each line goes out in one write so lines of several processes sharing the stream do not mix.

#include <iostream>
#include <string>

#include "trace/Sink.h"

namespace Trace {

class StreamSink : public Sink {
 public:
  explicit StreamSink(std::ostream& out = std::cerr) : out_(out) {}

  void write(double time, std::string_view handle, int level, std::string_view text) override;

  // The line without its newline; `context` (the VRF or namespace at work, "vrf=red") stands
  // after the time stamp when there is one.
  static std::string format(double time, std::string_view handle, int level, std::string_view text,
                            std::string_view context = {});

 private:
  std::ostream& out_;
};

}  // namespace Trace
