#pragma once
// A directory of the state database: named entries, each a directory or an entity of a
// known type. Reactors hear `onEntityPtr(name)` per entry added, replaced or removed, and
// `onEntityPtrquibImmediate()` for a change that names no entry.

#include <string_view>

#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace Quib {

class Dir : public Entity {
 public:
  static constexpr std::string_view type = "Quib::Dir";

  class NotifieeConst : public NotifieeBase<Dir> {
   public:
    virtual void onEntityPtr(Name const&) {}
    virtual void onEntityPtrquibImmediate() {}
  };

  explicit Dir(Name name) : Entity(std::move(name)) {}
  std::string_view typeName() const override { return type; }

  Ptr<Entity> entityPtr(Name const& name) const { return entries_(name); }
  template <class T>
  Ptr<T> entity(Name const& name) const {
    return ptrCast<T>(entries_(name));
  }
  std::size_t entries() const { return entries_.size(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Adds or replaces the entry; the entity takes this directory as its parent.
  void entityPtrIs(Name const& name, Ptr<Entity> const& entity);
  void entityPtrDel(Name const& name);
  void entityPtrDelAll();
  // The subdirectory `name`, created if absent. An entry of another type is not replaced.
  Ptr<Dir> mkdir(Name const& name);
  void notifyImmediate() const { entries_.notifyKeyless(); }

  // The entity at a relative path ("a/b/c"); empty when any step is missing.
  Ptr<Entity> entityAt(std::string_view path) const;
  // The directory at a relative path, creating the missing steps; empty when a step is
  // taken by an entity that is not a directory.
  Ptr<Dir> mkdirs(std::string_view path);

 private:
  NotifyingMap<Name, Ptr<Entity>, &NotifieeConst::onEntityPtr, &NotifieeConst::onEntityPtrquibImmediate> entries_{this};
};

}  // namespace Quib
