#include "trace/StreamSink.h"

#include "trace/Context.h"
#include "trace/TimeStamp.h"

namespace Trace {

void StreamSink::write(double time, std::string_view handle, int level, std::string_view text) {
  auto const* context = currentContext();
  auto line = format(time, handle, level, text, context ? *context : std::string_view());
  line += '\n';
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
}

std::string StreamSink::format(double time, std::string_view handle, int level, std::string_view text,
                               std::string_view context) {
  std::string line = TimeStamp(time).text();
  line += ' ';
  if (!context.empty()) {
    line += context;
    line += ' ';
  }
  line += handle;
  line += '/';
  line += std::to_string(level);
  line += ' ';
  line += text;
  return line;
}

}  // namespace Trace
