#pragma once
// Where the daemon's trace lines go: standard error, stamped. The operator log needs to hear
// when a full review ends, which the agent traces at a level the operator did not
// necessarily select; such lines are taken in here and dropped unless the operator's own
// selection asked for them.

#include <functional>
#include <ostream>
#include <string_view>

#include "trace/Handle.h"
#include "trace/StreamSink.h"

namespace Kmfibd {

class OperatorLogSink final : public Trace::Sink {
 public:
  // The handle and level the review's end is traced at; the selection must enable them.
  static constexpr std::string_view reviewHandle = "KernelMfibSm";
  static constexpr int reviewLevel = 4;

  // `operatorLevels`: what the operator's selection gives the review's handle.
  OperatorLogSink(std::ostream& out, Trace::Handle::Levels operatorLevels, std::function<void()> onReviewFinished)
      : out_(out), operatorLevels_(operatorLevels), onReviewFinished_(std::move(onReviewFinished)) {}

  void write(double time, std::string_view handle, int level, std::string_view text) override;

 private:
  Trace::StreamSink out_;
  Trace::Handle::Levels operatorLevels_;
  std::function<void()> onReviewFinished_;
};

}  // namespace Kmfibd
