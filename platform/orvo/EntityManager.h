#pragma once
// The state database: one tree of directories and typed entities, reached by path
// ("routing/kernelmfib/config"), shared by the agent and the rest of the platform. It
// outlives agents, so an agent that restarts finds what its predecessor published.
//
// Entity types are known by name ("Quib::Dir", "Routing::KernelMfib::ConfigColl", ...);
// a mount or a local entity of a type creates the entity when the path is empty, so a
// reader can follow a path before any writer has published there. Shared-memory mounts
// (route tables, kernel network information) are tracked separately: such an entity is
// visible through a mount handle only while it is mounted.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/MountStatus.h"
#include "quib/Clock.h"
#include "quib/Dir.h"
#include "quib/Ptr.h"

namespace Orvo {

class MountGroup;
class Mounter;

class EntityManager : public Quib::PtrInterface {
 public:
  using Factory = std::function<Quib::Ptr<Quib::Entity>(Quib::Name const&)>;

  // Mount completion is reported on `clock`'s event loop, never inside the call.
  explicit EntityManager(Quib::Ptr<Quib::Clock const> clock);
  ~EntityManager() override;

  Quib::Ptr<Quib::Dir> const& root() const { return root_; }
  Quib::Ptr<Quib::Clock const> const& clock() const { return clock_; }

  void typeIs(std::string const& typeName, Factory factory);
  bool hasType(std::string const& typeName) const { return types_.count(typeName) > 0; }

  // The entity at `path`, or empty.
  Quib::Ptr<Quib::Entity> getEntity(std::string_view path) const;
  // The entity at `path`, created with its type's factory (and the directories above it)
  // when absent. Fails with the status that a mount of it would end with.
  Quib::Ptr<Quib::Entity> entityIs(std::string_view path, std::string const& typeName, MountStatus* status);

  Quib::Ptr<MountGroup> getMountGroup(Mounter* mounter);
  // Closed groups that have not answered yet; a group that never answers goes with the
  // manager.
  void mountGroupPendingIs(Quib::Ptr<MountGroup> const& group);
  void mountGroupPendingDel(MountGroup const* group);

  // Shared-memory mounts, counted per path: each mount of a path needs its own unmount, and
  // the path stays mounted until the last one, so that users of one path (VRFs sharing a
  // namespace) do not unmount it under each other.
  Quib::Ptr<Quib::Entity> halmMountIs(std::string_view path, std::string const& typeName);
  Quib::Ptr<Quib::Entity> halmMount(std::string_view path) const;
  void halmMountDel(std::string_view path);
  bool isHalmMounted(std::string_view path) const { return halmMounts(path) > 0; }
  std::size_t halmMounts(std::string_view path) const;

 private:
  Quib::Ptr<Quib::Clock const> clock_;
  Quib::Ptr<Quib::Dir> root_;
  std::map<std::string, Factory> types_;
  struct HalmMount {
    Quib::Ptr<Quib::Entity> entity;
    std::size_t count = 0;
  };
  std::map<std::string, HalmMount, std::less<>> halmMounts_;
  std::vector<Quib::Ptr<MountGroup>> pendingGroups_;
};

}  // namespace Orvo
