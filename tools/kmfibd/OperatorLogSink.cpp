#include "tools/kmfibd/OperatorLogSink.h"

namespace Kmfibd {

void OperatorLogSink::write(double time, std::string_view handle, int level, std::string_view text) {
  bool const reviewLine = handle == reviewHandle && level == reviewLevel;
  if (reviewLine && text == "Finished review of all routes" && onReviewFinished_) onReviewFinished_();
  if (reviewLine && !((operatorLevels_ >> reviewLevel) & 1u)) return;
  out_.write(time, handle, level, text);
}

}  // namespace Kmfibd
