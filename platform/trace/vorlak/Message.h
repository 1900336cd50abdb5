#pragma once
// A binary-trace message with typed arguments, declared once and logged many times:
//
//   static Vorlak::Message<Vorlak::RouteKeyRecord, std::int32_t> const syncing{
//       1, "Syncing key {} from table {}"};
//   syncing.log(key, tableId);
//
// Level, placeholder count and text length are checked at compile time. While no trace file
// is open, or the message's level is suppressed, log() is a single test and writes nothing.

#include <array>
#include <cstddef>
#include <string_view>

#include "trace/vorlak/ArgTraits.h"
#include "trace/vorlak/FileFormat.h"
#include "trace/vorlak/Level.h"
#include "trace/vorlak/MessageBase.h"
#include "trace/vorlak/MessageText.h"
#include "trace/vorlak/Writer.h"

namespace Vorlak {

// The argument tags joined by commas, as the message table stores them.
template <class... Args>
constexpr std::size_t joinedTagChars =
    (std::size_t{0} + ... + ArgTraits<Args>::tag.size()) + (sizeof...(Args) > 0 ? sizeof...(Args) - 1 : 0);

template <class... Args>
constexpr std::array<char, joinedTagChars<Args...> + 1> joinedTags() {
  std::array<char, joinedTagChars<Args...> + 1> out{};
  std::size_t at = 0;
  for (std::string_view tag : {std::string_view{}, ArgTraits<Args>::tag...}) {
    if (tag.empty()) continue;
    if (at > 0) out[at++] = ',';
    for (char c : tag) out[at++] = c;
  }
  return out;
}

template <class... Args>
class Message : public MessageBase {
 public:
  Message(Level level, MessageText<sizeof...(Args)> text)
      : MessageBase(level.value(), text.text(), tags_.data(), sizeof...(Args)) {}

  void log(Args const&... args) const {
    Writer* writer = Writer::forLevel(level());
    if (!writer) return;
    writer->append(*this, args...);
  }

 private:
  static_assert(joinedTagChars<Args...> < FileFormat::tagsBytes,
                "too many or too long argument tags for one message");
  static constexpr auto tags_ = joinedTags<Args...>();
};

}  // namespace Vorlak
