#pragma once
// Whom a text trace line is written for: the VRF or namespace of the machine at work
// ("vrf=red", "ns=nsA"), printed beside the line's time stamp. A reactor takes the context in
// force when it is built and its notifier puts it in force around each of its callbacks, so a
// machine built for a VRF writes its lines under that VRF without saying so in each message.
//
// Contexts are interned: a context is a pointer to its text, kept for the process's life, so
// putting one in force costs a pointer swap.

#include <string_view>

namespace Trace {

using Context = std::string_view const*;  // null: none

Context context(std::string_view text);  // the interned context of `text`
Context currentContext();

class ContextScope {
 public:
  // A null context leaves the current one in force.
  explicit ContextScope(Context context);
  ~ContextScope();
  ContextScope(ContextScope const&) = delete;
  ContextScope& operator=(ContextScope const&) = delete;

 private:
  Context previous_;
};

}  // namespace Trace
