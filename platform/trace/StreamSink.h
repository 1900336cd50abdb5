#pragma once
// A sink writing one text line per trace message to a stream, standard error by default:
// time stamp, handle/level, then the text, e.g. "12.000250 KernelMfibSm/8 Namespace name is ns1".
// Each line goes out in one write so lines of several processes sharing the stream do not mix.

#include <iostream>
#include <string>

#include "trace/Sink.h"

namespace Trace {

class StreamSink : public Sink {
 public:
  explicit StreamSink(std::ostream& out = std::cerr) : out_(out) {}

  void write(double time, std::string_view handle, int level, std::string_view text) override;

  // The line without its newline.
  static std::string format(double time, std::string_view handle, int level, std::string_view text);

 private:
  std::ostream& out_;
};

}  // namespace Trace
