#pragma once
// A handle for shared-memory mounts (route tables, a namespace's kernel network
// information) bound to one entity manager. A mount stays in place after the handle is
// dropped, until it is unmounted; mounts are counted per path, so a path mounted twice
// needs two unmounts. `getEntity` sees only mounted paths.

#include <string>
#include <string_view>

#include "orvo/EntityManager.h"
#include "quib/Ptr.h"

namespace QuibHalm {

// What kind of shared-memory table backs a mount. Recorded with the mount; the in-process
// database keeps every kind the same way.
enum QuibHalmType { quibHalmNone_ = 0, quibHalmRouteTable_ = 1, quibHalmDirTable_ = 2, quibHalmStatusTable_ = 3 };

struct MountInfo {
  QuibHalmType tableType = quibHalmNone_;
};

class Mount {
 public:
  explicit Mount(Quib::Ptr<Orvo::EntityManager> em) : em_(std::move(em)) {}

  // Mounts `path`, creating an empty entity of `typeName` there when nobody has
  // published it yet. Returns the mounted entity, or empty for an unknown type or a path
  // that holds another type.
  Quib::Ptr<Quib::Entity> doMount(std::string_view path, std::string const& typeName, MountInfo info);
  Quib::Ptr<Quib::Entity> getEntity(std::string_view path) const { return em_->halmMount(path); }
  void doUnmount(std::string_view path) { em_->halmMountDel(path); }

 private:
  Quib::Ptr<Orvo::EntityManager> em_;
};

}  // namespace QuibHalm
