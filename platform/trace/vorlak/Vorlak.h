#pragma once
// The binary ring-buffer trace: open it once at start-up, then log through Vorlak::Message
// objects. The positional arguments of initialize, as the agent passes them
// (name, nullptr, nullptr, 0, 24, 0, true, 512):
//
//   fileName           the file; every "%d" becomes the process id; a relative name is
//                      placed in $VORLAKDIR, or in /tmp when that is not set
//   sizeSpec           the ring size as text, "65536", "64K", "16M" or "1G" (a power of two
//                      from 4K to 1G); overrides ringBytesLog2; null to use ringBytesLog2
//   description        text kept in the file header, e.g. the command line; null for none
//   suppressedLevels   bit N set: records of level N are not written; 0 writes all levels
//   ringBytesLog2      log2 of the ring size in bytes, 12 to 30 (24: 16 MiB)
//   multiThreadingMode 0: one thread logs, no locking; 1: logging threads take a lock
//   keepFile           true: the file stays after shutdown for decoding; false: removed
//   maxMessages        the most distinct messages the file can name, 1 to 65535; records
//                      of messages beyond it are counted as dropped
//
// Bad arguments throw std::invalid_argument, a trace already open on another file
// std::logic_error (the same file again keeps the running trace) and a file
// that cannot be made std::system_error; the running trace (if any) is left as it was.

#include <cstdint>
#include <string_view>

#include "trace/vorlak/Message.h"

namespace Vorlak {

void initialize(char const* fileName, char const* sizeSpec, char const* description, int suppressedLevels,
                int ringBytesLog2, int multiThreadingMode, bool keepFile, int maxMessages);
void shutdown() noexcept;
bool isActive();

// "4096", "64K", "16M", "1G" to bytes; throws std::invalid_argument for anything else.
std::uint64_t parseSize(std::string_view text);

}  // namespace Vorlak
