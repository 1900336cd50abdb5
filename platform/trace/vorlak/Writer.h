#pragma once
// The open binary trace file: a memory-mapped file holding a header, the table of messages
// used so far and a ring of records (layout in FileFormat.h). At most one writer is open
// per process; Message::log() finds it through a per-level pointer, which is null while no
// file is open or the level is suppressed, so a message costs one test then.
//
// Records are stamped with the text traces' time source (Trace::Registry::now()). Opening
// and closing happen on one thread while nothing logs; with `threaded` set, logging itself
// may come from several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "trace/vorlak/ArgTraits.h"
#include "trace/vorlak/FileFormat.h"
#include "trace/vorlak/Level.h"
#include "trace/vorlak/MessageBase.h"

namespace Vorlak {

class Writer {
 public:
  struct Options {
    std::string path;
    std::uint64_t ringBytes = std::uint64_t{1} << 24;
    std::string description;
    std::uint8_t suppressedLevels = 0;  // bit N suppresses level N
    bool threaded = false;
    bool keepFile = true;  // false removes the file when the writer closes
    std::uint32_t maxMessages = 512;
  };
  static constexpr std::uint64_t minRingBytes = 4096;
  static constexpr std::uint64_t maxRingBytes = std::uint64_t{1} << 30;
  static constexpr std::uint32_t maxMessagesLimit = FileFormat::padId;

  // Creates (or truncates) the file and makes it the process's trace. Throws
  // std::invalid_argument for bad options, std::logic_error when a trace is already open and
  // std::system_error when the file cannot be made; nothing changes in any of these cases.
  static void open(Options const& options);
  static void close() noexcept;
  static Writer* current() { return current_; }
  static Writer* forLevel(unsigned level) { return active_[level & (Level::count - 1)]; }

  // Every "%d" in fileName becomes pid; a relative result is placed in directory.
  static std::string pathFor(std::string_view fileName, int pid, std::string_view directory);

  Writer(Writer const&) = delete;
  Writer& operator=(Writer const&) = delete;
  ~Writer();

  std::string const& path() const { return options_.path; }

  template <class... Args>
  void append(MessageBase const& message, Args const&... args) {
    if (!((ArgTraits<Args>::size(args) <= 0xffff) && ...)) {
      dropOversized();
      return;
    }
    std::size_t const payload =
        (std::size_t{0} + ... + (FileFormat::argLengthBytes + ArgTraits<Args>::size(args)));
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (options_.threaded) lock.lock();
    std::byte* out = beginRecord(message, payload);
    if (!out) return;
    ((out = put<Args>(out, args)), ...);
    commitRecord();
  }

 private:
  Writer(Options const& options, int fd, std::byte* map, std::size_t mapBytes);

  template <class T>
  static std::byte* put(std::byte* out, T const& value) {
    auto const bytes = static_cast<std::uint16_t>(ArgTraits<T>::size(value));
    std::memcpy(out, &bytes, sizeof bytes);
    ArgTraits<T>::encode(out + sizeof bytes, value);
    return out + sizeof bytes + bytes;
  }

  std::byte* beginRecord(MessageBase const& message, std::size_t payloadBytes);
  void commitRecord();
  std::byte* drop();
  void dropOversized();
  std::uint16_t idFor(MessageBase const& message);
  void makeRoom(std::uint64_t end);
  std::uint32_t recordBytesAt(std::uint64_t position) const;

  static inline Writer* current_ = nullptr;
  static inline std::array<Writer*, Level::count> active_{};
  static inline std::uint32_t lastGeneration_ = 0;

  Options options_;
  int fd_;
  std::byte* map_;
  std::size_t mapBytes_;
  FileFormat::Header* header_;
  std::byte* ring_;
  std::uint64_t ringBytes_;
  std::uint32_t generation_;
  std::uint64_t pendingHead_ = 0;
  std::mutex mutex_;
};

}  // namespace Vorlak
