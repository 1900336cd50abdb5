#include "quib/Dir.h"

namespace Quib {

void Dir::entityPtrIs(Name const& name, Ptr<Entity> const& entity) {
  Ptr<Entity> old = entries_(name);
  if (old == entity) return;
  if (old && old->parent() == this) old->parentIs(nullptr);
  if (entity) entity->parentIs(this);
  entries_.is(name, entity);
}

void Dir::entityPtrDel(Name const& name) {
  Ptr<Entity> old = entries_(name);
  if (!old) return;
  if (old->parent() == this) old->parentIs(nullptr);
  entries_.del(name);
}

void Dir::entityPtrDelAll() {
  while (entries_.size() > 0) entityPtrDel(entries_.begin()->first);
}

Ptr<Dir> Dir::mkdir(Name const& name) {
  Ptr<Entity> existing = entries_(name);
  if (existing) return ptrCast<Dir>(existing);
  Ptr<Dir> dir = make<Dir>(name);
  entityPtrIs(name, dir);
  return dir;
}

namespace {

// Splits "a/b/c" into its first step and the rest; empty steps are skipped.
std::pair<std::string_view, std::string_view> firstStep(std::string_view path) {
  while (path.starts_with('/')) path.remove_prefix(1);
  auto slash = path.find('/');
  if (slash == std::string_view::npos) return {path, {}};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

Ptr<Entity> Dir::entityAt(std::string_view path) const {
  auto [step, rest] = firstStep(path);
  if (step.empty()) return Ptr<Entity>(const_cast<Dir*>(this));
  Ptr<Entity> next = entries_(Name(step));
  if (!next || rest.empty()) return next;
  auto dir = ptrCast<Dir>(next);
  return dir ? dir->entityAt(rest) : Ptr<Entity>();
}

Ptr<Dir> Dir::mkdirs(std::string_view path) {
  auto [step, rest] = firstStep(path);
  if (step.empty()) return Ptr<Dir>(this);
  Ptr<Dir> next = mkdir(Name(step));
  if (!next) return next;
  return next->mkdirs(rest);
}

}  // namespace Quib
