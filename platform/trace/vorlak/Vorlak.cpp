#include "trace/vorlak/Vorlak.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace Vorlak {

namespace {

constexpr int minLog2 = 12;
constexpr int maxLog2 = 30;

void refuse(std::string const& why) { throw std::invalid_argument("binary trace: " + why); }

}  // namespace

std::uint64_t parseSize(std::string_view text) {
  auto const refuseText = [&] { refuse("size \"" + std::string(text) + "\" is not a number with an optional K, M or G"); };
  std::uint64_t value = 0;
  auto const* end = text.data() + text.size();
  auto const [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || text.empty() || text[0] == '+' || text[0] == '-') refuseText();
  int shift = 0;
  if (ptr != end) {
    if (ptr + 1 != end) refuseText();
    switch (*ptr) {
      case 'K': case 'k': shift = 10; break;
      case 'M': case 'm': shift = 20; break;
      case 'G': case 'g': shift = 30; break;
      default: refuseText();
    }
  }
  if (value > (Writer::maxRingBytes >> shift)) refuse("size \"" + std::string(text) + "\" is larger than 1G");
  return value << shift;
}

void initialize(char const* fileName, char const* sizeSpec, char const* description, int suppressedLevels,
                int ringBytesLog2, int multiThreadingMode, bool keepFile, int maxMessages) {
  if (!fileName || fileName[0] == '\0') refuse("no file name");
  if (suppressedLevels < 0 || suppressedLevels > 0xff) {
    refuse("suppressed-level mask " + std::to_string(suppressedLevels) + " is not in 0-255");
  }
  if (multiThreadingMode != 0 && multiThreadingMode != 1) {
    refuse("multi-threading mode " + std::to_string(multiThreadingMode) + " is not 0 or 1");
  }
  if (maxMessages < 1) refuse("message table size " + std::to_string(maxMessages) + " is not positive");

  Writer::Options options;
  if (sizeSpec) {
    options.ringBytes = parseSize(sizeSpec);
  } else {
    if (ringBytesLog2 < minLog2 || ringBytesLog2 > maxLog2) {
      refuse("ring size log2 " + std::to_string(ringBytesLog2) + " is not in 12-30");
    }
    options.ringBytes = std::uint64_t{1} << ringBytesLog2;
  }
  char const* directory = std::getenv("VORLAKDIR");
  options.path = Writer::pathFor(fileName, static_cast<int>(::getpid()), directory ? directory : "/tmp");
  options.description = description ? description : "";
  options.suppressedLevels = static_cast<std::uint8_t>(suppressedLevels);
  options.threaded = multiThreadingMode == 1;
  options.keepFile = keepFile;
  options.maxMessages = static_cast<std::uint32_t>(maxMessages);
  // An agent restarted inside the same process goes on writing the trace it had.
  if (Writer::current() && Writer::current()->path() == options.path) return;
  Writer::open(options);
}

void shutdown() noexcept { Writer::close(); }

bool isActive() { return Writer::current() != nullptr; }

}  // namespace Vorlak
