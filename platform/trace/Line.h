#pragma once
// One trace line under construction. A handle hands out a Line per message; the Line is
// falsy when the handle's level is off, so `if (auto t = tr.at(8)) t << ...;` evaluates
// nothing for a disabled level. An enabled Line collects its text and emits it when it goes
// out of scope.

#include <optional>
#include <ostream>
#include <sstream>

namespace Trace {

class Handle;

class Line {
 public:
  // A null handle makes a disabled line; no stream is built for it.
  Line(Handle const* handle, int level) : handle_(handle), level_(level) {
    if (handle_) stream_.emplace();
  }
  ~Line() {
    if (handle_) emit();
  }
  Line(Line const&) = delete;
  Line& operator=(Line const&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }

  template <class T>
  Line& operator<<(T const& value) {
    if (handle_) *stream_ << value;
    return *this;
  }
  Line& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    if (handle_) *stream_ << manipulator;
    return *this;
  }

 private:
  void emit() noexcept;

  Handle const* handle_;
  int level_;
  std::optional<std::ostringstream> stream_;
};

}  // namespace Trace
