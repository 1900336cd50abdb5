#include "halm/Mount.h"

namespace QuibHalm {

Quib::Ptr<Quib::Entity> Mount::doMount(std::string_view path, std::string const& typeName, MountInfo) {
  return em_->halmMountIs(path, typeName);
}

}  // namespace QuibHalm
