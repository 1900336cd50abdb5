#include "orvo/EntityManager.h"

#include "orvo/MountGroup.h"

namespace Orvo {

EntityManager::EntityManager(Quib::Ptr<Quib::Clock const> clock)
    : clock_(std::move(clock)), root_(Quib::make<Quib::Dir>("")) {
  typeIs(std::string(Quib::Dir::type), [](Quib::Name const& n) { return Quib::make<Quib::Dir>(n); });
}

void EntityManager::typeIs(std::string const& typeName, Factory factory) { types_[typeName] = std::move(factory); }

Quib::Ptr<Quib::Entity> EntityManager::getEntity(std::string_view path) const { return root_->entityAt(path); }

Quib::Ptr<Quib::Entity> EntityManager::entityIs(std::string_view path, std::string const& typeName,
                                                MountStatus* status) {
  auto fail = [&](MountStatus s) {
    if (status) *status = s;
    return Quib::Ptr<Quib::Entity>();
  };
  if (auto existing = getEntity(path)) {
    if (existing->typeName() != typeName) return fail(mountTypeMismatch_);
    if (status) *status = mountSuccess_;
    return existing;
  }
  auto type = types_.find(typeName);
  if (type == types_.end()) return fail(mountUnknownType_);
  auto slash = path.rfind('/');
  std::string_view const parentPath = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  std::string const leaf(slash == std::string_view::npos ? path : path.substr(slash + 1));
  auto parent = root_->mkdirs(parentPath);
  if (!parent) return fail(mountTypeMismatch_);
  auto entity = type->second(leaf);
  parent->entityPtrIs(leaf, entity);
  if (status) *status = mountSuccess_;
  return entity;
}

Quib::Ptr<MountGroup> EntityManager::getMountGroup(Mounter* mounter) {
  return Quib::make<MountGroup>(this, mounter);
}

EntityManager::~EntityManager() = default;

void EntityManager::mountGroupPendingIs(Quib::Ptr<MountGroup> const& group) { pendingGroups_.push_back(group); }

void EntityManager::mountGroupPendingDel(MountGroup const* group) {
  std::erase_if(pendingGroups_, [&](auto const& g) { return g.ptr() == group; });
}

Quib::Ptr<Quib::Entity> EntityManager::halmMountIs(std::string_view path, std::string const& typeName) {
  auto entity = entityIs(path, typeName, nullptr);
  if (!entity) return entity;
  HalmMount& mount = halmMounts_[std::string(path)];
  mount.entity = entity;
  ++mount.count;
  return entity;
}

Quib::Ptr<Quib::Entity> EntityManager::halmMount(std::string_view path) const {
  auto it = halmMounts_.find(path);
  return it == halmMounts_.end() ? Quib::Ptr<Quib::Entity>() : it->second.entity;
}

std::size_t EntityManager::halmMounts(std::string_view path) const {
  auto it = halmMounts_.find(path);
  return it == halmMounts_.end() ? 0 : it->second.count;
}

void EntityManager::halmMountDel(std::string_view path) {
  auto it = halmMounts_.find(path);
  if (it == halmMounts_.end()) return;
  if (--it->second.count == 0) halmMounts_.erase(it);
}

}  // namespace Orvo
