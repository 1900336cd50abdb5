#include "quib/Entity.h"

#include <algorithm>
#include <cassert>

namespace Quib {

Entity::~Entity() {
  // Reactors hold counted references to what they follow, so none can be left here.
  assert(std::none_of(notifiees_.begin(), notifiees_.end(), [](auto* n) { return n != nullptr; }));
}

std::string Entity::fullName() const {
  if (!parent_) return name_;
  std::string up = parent_->fullName();
  if (up.empty()) return name_;
  return up + "/" + name_;
}

void Entity::notifieeAdd(NotifieeRoot* n) const { notifiees_.push_back(n); }

void Entity::notifieeDel(NotifieeRoot* n) const {
  auto it = std::find(notifiees_.begin(), notifiees_.end(), n);
  if (it == notifiees_.end()) return;
  if (notifying_ > 0) {
    *it = nullptr;
    compactPending_ = true;
    return;
  }
  notifiees_.erase(it);
}

std::size_t Entity::notifiees() const {
  return static_cast<std::size_t>(std::count_if(notifiees_.begin(), notifiees_.end(),
                                                [](auto* n) { return n != nullptr; }));
}

void Entity::compact() const {
  compactPending_ = false;
  std::erase(notifiees_, nullptr);
}

}  // namespace Quib
