#include "entities/DeviceVrfIntfStatusDir.h"

namespace Interface {

DeviceVrfIntfStatusDir::DeviceVrfIntfStatusDir(Quib::Name name) : Quib::Entity(std::move(name)) {}

// The child may outlive this directory in its readers' hands; it must not point back here.
DeviceVrfIntfStatusDir::~DeviceVrfIntfStatusDir() { release(deviceIntfStatusDir()); }

Quib::Ptr<DeviceIntfStatusDir> DeviceVrfIntfStatusDir::deviceIntfStatusDirIs(Quib::Name const& name) {
  Quib::Ptr<DeviceIntfStatusDir> old = deviceIntfStatusDir();
  if (old && old->name() == name) return old;
  auto child = Quib::make<DeviceIntfStatusDir>(name);
  child->parentIs(this);
  release(old);
  deviceIntfStatusDir.is(child);
  return child;
}

void DeviceVrfIntfStatusDir::deviceIntfStatusDirDel() {
  Quib::Ptr<DeviceIntfStatusDir> old = deviceIntfStatusDir();
  if (!old) return;
  release(old);
  deviceIntfStatusDir.is(nullptr);
}

void DeviceVrfIntfStatusDir::release(Quib::Ptr<DeviceIntfStatusDir> const& child) {
  if (child && child->parent() == this) child->parentIs(nullptr);
}

}  // namespace Interface
