#pragma once
// What every binary-trace message has, whatever its argument types: level, text and the
// comma-separated type tags. Messages are long-lived (usually static) objects; each one is
// entered into the message table of the open trace file on its first use and remembers its
// id there, so a record carries only that id, a time stamp and the arguments.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Vorlak {

class Writer;

class MessageBase {
 public:
  MessageBase(MessageBase const&) = delete;
  MessageBase& operator=(MessageBase const&) = delete;

  unsigned level() const { return level_; }
  std::string_view text() const { return text_; }
  std::string_view tags() const { return tags_; }
  std::size_t argCount() const { return argCount_; }

 protected:
  MessageBase(unsigned level, char const* text, char const* tags, std::size_t argCount)
      : level_(level), text_(text), tags_(tags), argCount_(argCount) {}
  ~MessageBase() = default;

 private:
  friend class Writer;

  unsigned level_;
  char const* text_;
  char const* tags_;
  std::size_t argCount_;
  // The writer generation in the upper half, the id in its table in the lower half; another
  // generation (the trace was reopened) means not registered yet.
  mutable std::atomic<std::uint64_t> registration_{0};
};

}  // namespace Vorlak
