#include "trace/Handle.h"

#include <stdexcept>

#include "trace/Registry.h"

namespace Trace {

Handle::Handle(std::string_view name, Levels levels) : name_(name), levels_(levels & allLevels) {
  checkName(name);
}

void Handle::write(int level, std::string_view text) const {
  Registry::instance().emit(name_, level, text);
}

void Handle::checkName(std::string_view name) {
  if (name.empty()) throw std::invalid_argument("trace handle name is empty");
  for (char c : name) {
    if (c == ',' || c == '/' || c == '*' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      throw std::invalid_argument("trace handle name \"" + std::string(name) +
                                  "\" holds '" + std::string(1, c) + "'");
    }
  }
}

}  // namespace Trace
