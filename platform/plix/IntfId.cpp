#include "plix/IntfId.h"

#include <deque>
#include <unordered_map>

namespace Plix {

namespace {

struct InternTable {
  std::deque<std::string> names{std::string()};  // id 0 is the empty name
  std::unordered_map<std::string_view, std::uint32_t> ids{{names.front(), 0}};
};

InternTable& table() {
  static InternTable t;
  return t;
}

}  // namespace

IntfId::IntfId(std::string_view name) {
  auto& t = table();
  if (auto it = t.ids.find(name); it != t.ids.end()) {
    id_ = it->second;
    return;
  }
  id_ = static_cast<std::uint32_t>(t.names.size());
  t.names.emplace_back(name);
  t.ids.emplace(t.names.back(), id_);
}

std::string const& IntfId::name() const { return table().names[id_]; }

}  // namespace Plix
