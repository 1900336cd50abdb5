#pragma once
// The level of a binary-trace message, 0 to 7, checked when the program is compiled. Levels
// let the writer suppress a class of records (the initialize call's suppressed-level mask).

namespace Vorlak {

class Level {
 public:
  static constexpr unsigned count = 8;

  // Not explicit: messages are declared as Message<...>{1, "text"}.
  consteval Level(unsigned value) : value_(value) {  // NOLINT
    if (value >= count) throw "a binary-trace level is 0 to 7";
  }
  constexpr unsigned value() const { return value_; }

 private:
  unsigned value_;
};

}  // namespace Vorlak
