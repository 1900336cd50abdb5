#include "kernelmfib/KeyToSync.h"

namespace Routing::KernelMfib {

KeyToSync::KeyToSync(L3::VrfName vrfName) : Quib::Entity(vrfName.str()), vrfName_(std::move(vrfName)) {}

std::uint8_t KeyToSync::changeCountInc(std::uint8_t n) {
  changeCount.is(static_cast<std::uint8_t>(changeCount() + n));
  return changeCount();
}

Quib::Ptr<KeyToSync> keyToSyncFactory(L3::VrfName const& vrfName) { return Quib::make<KeyToSync>(vrfName); }

}  // namespace Routing::KernelMfib
