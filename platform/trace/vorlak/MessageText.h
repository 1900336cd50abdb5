#pragma once
// The text of a binary-trace message, with one "{}" per argument, checked when the program is
// compiled: a text whose placeholders do not match its argument types, or that is too long
// for the file's message table, does not build.

#include <cstddef>

#include "trace/vorlak/FileFormat.h"

namespace Vorlak {

template <std::size_t ArgCount>
class MessageText {
 public:
  consteval MessageText(char const* text) : text_(text) {  // NOLINT: built from literals
    std::size_t length = 0;
    std::size_t placeholders = 0;
    for (; text[length] != '\0'; ++length) {
      if (text[length] == '{' && text[length + 1] == '}') ++placeholders;
    }
    if (placeholders != ArgCount) throw "the number of {} in the text must match the argument types";
    if (length >= FileFormat::textBytes) throw "a binary-trace message text is at most 191 bytes";
  }
  constexpr char const* text() const { return text_; }

 private:
  char const* text_;
};

}  // namespace Vorlak
