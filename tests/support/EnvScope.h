#pragma once
// Sets or clears an environment variable for one test and puts the old value back after it.

#include <stdlib.h>

#include <optional>
#include <string>

namespace TestSupport {

class EnvScope {
 public:
  EnvScope(char const* name, char const* value) : name_(name) {
    if (char const* old = std::getenv(name)) previous_ = old;
    if (value) {
      setenv(name, value, 1);
      return;
    }
    unsetenv(name);
  }
  ~EnvScope() {
    if (previous_) {
      setenv(name_, previous_->c_str(), 1);
      return;
    }
    unsetenv(name_);
  }
  EnvScope(EnvScope const&) = delete;
  EnvScope& operator=(EnvScope const&) = delete;

 private:
  char const* name_;
  std::optional<std::string> previous_;
};

}  // namespace TestSupport
