// KernelMfibSm: VIF allocation, registration in the kernel, retries and the published status.

#include <cerrno>
#include <cstring>
#include <vector>

#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "plix/SocketAt.h"
#include "quib/System.h"

namespace Routing::KernelMfib {

namespace {

constexpr int mrtAddVif = 202;
constexpr int mrtDelVif = 203;

void put16(unsigned char* at, std::uint16_t v) { std::memcpy(at, &v, sizeof v); }
void put32(unsigned char* at, std::int32_t v) { std::memcpy(at, &v, sizeof v); }

}  // namespace

std::optional<std::uint32_t> KernelMfibSm::kernelIfIndex(Plix::IntfId intfId) const {
  if (!deviceIntfStatusDir_) return std::nullopt;
  auto const* entry = deviceIntfStatusDir_->intfStatusAndDeviceName.find(intfId);
  if (!entry || entry->empty()) return std::nullopt;
  return entry->ifIndex;
}

void KernelMfibSm::allocateVif(Plix::IntfId intfId) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::allocateVif( " << intfId << " )";
  sockOpenTimerExpired();
  auto& config = vifStatus_->vifConfigColl;
  if (!multicastIntf_.has(intfId)) return doDeallocateVif(intfId);
  if (config.has(intfId)) return;
  std::uint32_t const max = vifConfig_->max();
  std::uint32_t vif = 1;
  while (vif < max && (vifUsed_[vif] || vifDelPending_.contains(static_cast<VifIndex>(vif)))) ++vif;
  if (vif >= max) {
    if (auto t = tr.at(5)) t << "Could not allocate VIF for " << intfId << ", so ignoring for now";
    return;
  }
  if (auto t = tr.at(5)) t << "Allocating VIF " << vif << " for " << intfId;
  config.is(intfId, static_cast<VifIndex>(vif));
  vifUsed_[vif] = true;
}

void KernelMfibSm::doDeallocateVif(Plix::IntfId intfId) {
  auto& config = vifStatus_->vifConfigColl;
  auto const* vif = config.find(intfId);
  if (!vif) return;
  // No index, two spaces: the wording operators grep for.
  if (auto t = kernelMfibTrace().at(5)) t << "Deallocating VIF " << " for " << intfId;
  vifUsed_[*vif] = false;
  config.del(intfId);
}

void KernelMfibSm::vifConfigIs(Quib::Ptr<Config const> const& config) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::vifConfigIs( " << (config ? config->fullName() : "none") << " )";
  if (!config || config == vifConfig_) return;
  vifConfig_ = config;
  // Re-pointed, the reactor writes both limits.
  configReactor_.notifierIs(vifConfig_);
  std::vector<Plix::IntfId> over;
  for (auto const& [intf, vif] : vifStatus_->vifConfigColl) {
    if (vif >= vifConfig_->max()) over.push_back(intf);
  }
  for (auto intf : over) doDeallocateVif(intf);
  allocateVif();
}

void KernelMfibSm::allocateVif() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::allocateVif()";
  std::vector<Plix::IntfId> released;
  for (auto const& [intf, vif] : vifStatus_->vifConfigColl) {
    if (!multicastIntf_.has(intf)) released.push_back(intf);
  }
  for (auto intf : released) allocateVif(intf);
  std::vector<Plix::IntfId> requested;
  for (auto const& [intf, member] : multicastIntf_) requested.push_back(intf);
  for (auto intf : requested) allocateVif(intf);
}

void KernelMfibSm::setVif(Plix::IntfId intfId) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::setVif( " << intfId << " )";
  if (auto const* allocated = vifStatus_->vifConfigColl.find(intfId)) {
    auto const ifIndex = kernelIfIndex(intfId);
    if (!ifIndex) {
      if (auto t = tr.at(5)) t << "Not setting VIF for " << intfId << " because kernel device is " << "missing";
      // A device that goes takes its VIF with it; the interface stays allocated and is
      // registered again, as a change that re-programs its routes, once the device is back.
      if (auto const* registered = vifStatus_->vifStatusColl.find(intfId)) doUnsetVif(intfId, *registered);
      return;
    }
    VifIndex const vif = *allocated;
    if (auto t = tr.at(5)) t << "Setting VIF " << vif << " for " << intfId << " in kernel";
    int const rc = doSetVifInKernel(static_cast<int>(*ifIndex), vif);
    if (rc != 0) {
      if (auto t = tr.at(5)) t << "setVifInKernel returned failure: " << rc;
      tryAddVifAgain_ = 1;
      vifRetryTimer_->timeMinIs(Quib::System::currentTime() + vifRetryPeriod);
      return;
    }
    // The kernel took the index, so the VIF a refused delete left there has gone: retrying
    // that delete now would remove this registration.
    vifDelPending_.erase(vif);
    vifStatus_->vifStatusColl.is(intfId, vif);
    vifStatus_->intfIdColl.is(vif, intfId);
    return;
  }
  auto const* registered = vifStatus_->vifStatusColl.find(intfId);
  if (!registered) return;
  doUnsetVif(intfId, *registered);
}

void KernelMfibSm::doUnsetVif(Plix::IntfId intfId, VifIndex vif) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(5)) t << "Unsetting VIF " << vif << " for " << intfId << " in kernel";
  int const rc = doDelVifInKernel(vif);
  if (rc != 0) {
    if (auto t = tr.at(5)) t << "delVifInKernel returned failure: " << rc << ", keeping VIF " << vif << " in use";
    vifDelPending_.emplace(vif, intfId);
    vifRetryTimer_->timeMinIs(Quib::System::currentTime() + vifRetryPeriod);
  }
  vifStatus_->vifStatusColl.del(intfId);
  vifStatus_->intfIdColl.del(vif);
}

void KernelMfibSm::doRetryVifDeletes() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doRetryVifDeletes()";
  std::vector<std::pair<VifIndex, Plix::IntfId>> const pending(vifDelPending_.begin(), vifDelPending_.end());
  bool freed = false;
  for (auto const& [vif, intfId] : pending) {
    if (auto t = tr.at(5)) t << "Retrying to unset VIF " << vif << " of " << intfId << " in kernel";
    int const rc = doDelVifInKernel(vif);
    if (rc == 0) {
      vifDelPending_.erase(vif);
      freed = true;
      continue;
    }
    if (auto t = tr.at(5)) t << "delVifInKernel returned failure: " << rc << ", keeping VIF " << vif << " in use";
    vifRetryTimer_->timeMinIs(Quib::System::currentTime() + vifRetryPeriod);
  }
  // An index held back only for its refused delete was never free: an interface that found
  // no index meanwhile looks again now, as if the index had not been held.
  if (freed) allocateVif();
}

void KernelMfibSm::setVif() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::setVif()";
  std::vector<Plix::IntfId> unregistered;
  for (auto const& [intf, vif] : vifStatus_->vifConfigColl) {
    if (!vifStatus_->vifStatusColl.has(intf)) unregistered.push_back(intf);
  }
  for (auto intf : unregistered) setVif(intf);
}

int KernelMfibSm::doSetVifInKernel(int ifIndex, VifIndex idx) const {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doSetVifInKernel( " << ifIndex << ", " << idx << " )";
  if (af_ == Plix::AddressFamily::ipv6) {
    unsigned char mif6ctl[12] = {};
    put16(mif6ctl, idx);
    mif6ctl[2] = idx == 0 ? 0x01 : 0;  // MIFF_REGISTER
    std::uint16_t const pifi = idx == 0 ? 0 : static_cast<std::uint16_t>(ifIndex);
    put16(mif6ctl + 4, pifi);
    int const rc = Plix::setsockopt(sock_, level(), mrtAddVif, mif6ctl, sizeof mif6ctl);
    if (rc != 0) {
      if (auto t = tr.at(5)) {
        t << "doSetVifInKernel" << ": MRT6_ADD_MIF ( mif6c_mifi=" << idx << ", mif6c_pifi=" << pifi << " )"
          << " returned " << rc << ", errno " << errno;
      }
    }
    return rc;
  }
  unsigned char vifctl[16] = {};
  put16(vifctl, idx);
  vifctl[2] = idx == 0 ? 0x04 : 0x08;  // VIFF_REGISTER : VIFF_USE_IFINDEX
  vifctl[3] = 1;                       // threshold
  std::int32_t const lclIfindex = idx == 0 ? 0 : ifIndex;
  put32(vifctl + 8, lclIfindex);
  int const rc = Plix::setsockopt(sock_, level(), mrtAddVif, vifctl, sizeof vifctl);
  if (rc != 0) {
    if (auto t = tr.at(5)) {
      t << "doSetVifInKernel" << ": MRT_ADD_VIF ( vifc_vifi=" << idx << ", vifc_lcl_ifindex=" << lclIfindex << " )"
        << " returned " << rc << ", errno " << errno;
    }
  }
  return rc;
}

int KernelMfibSm::doDelVifInKernel(VifIndex idx) const {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doDelVifInKernel( " << idx << " )";
  int rc = 0;
  if (af_ == Plix::AddressFamily::ipv6) {
    std::uint16_t const mifi = idx;
    rc = Plix::setsockopt(sock_, level(), mrtDelVif, &mifi, sizeof mifi);
  } else {
    unsigned char vifctl[16] = {};
    put16(vifctl, idx);
    rc = Plix::setsockopt(sock_, level(), mrtDelVif, vifctl, sizeof vifctl);
  }
  if (rc == 0) return 0;
  int const error = errno;
  if (auto t = tr.at(5)) {
    t << "doDelVifInKernel"
      << (af_ == Plix::AddressFamily::ipv6 ? ": MRT6_DEL_MIF ( mifi=" : ": MRT_DEL_VIF ( vifc_vifi=") << idx
      << " ) returned " << rc << ", errno " << error;
  }
  // The kernel has no such VIF (its device or the socket that added it has gone since), or
  // the machine's socket has not opened and so holds nothing: the deletion is done. Any
  // other error leaves the VIF in the kernel, which keeps it for as long as the socket stays
  // open; the caller keeps the index and tries again.
  if (error == EADDRNOTAVAIL || sock_ < 0) return 0;
  return rc;
}

void KernelMfibSm::vifRetryTimerExpired() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::vifRetryTimerExpired()";
  if (!initialized_) return;
  if (!vifDelPending_.empty()) doRetryVifDeletes();
  if (tryAddVifAgain_ != 0) setVif();
}

void KernelMfibSm::handleIntfStatusAndDeviceName(Plix::IntfId intfId) {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleIntfStatusAndDeviceName( " << intfId << " )";
  if (initialized_) setVif(intfId);
}

void KernelMfibSm::handleIntfStatusAndDeviceName() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleIntfStatusAndDeviceName()";
  if (!deviceIntfStatusDir_) return;
  std::vector<Plix::IntfId> intfs;
  for (auto const& [intf, value] : deviceIntfStatusDir_->intfStatusAndDeviceName) intfs.push_back(intf);
  for (auto intf : intfs) handleIntfStatusAndDeviceName(intf);
}

void KernelMfibSm::intfIdCollSync() {
  auto& tr = kernelMfibTrace();
  char const* entry = "KernelMfibSm::intfIdCollSync()";
  if (auto t = tr.at(9)) t << entry;
  std::vector<std::pair<VifIndex, Plix::IntfId>> stale;
  for (auto const& [vif, intf] : vifStatus_->intfIdColl) {
    if (!vifStatus_->vifStatusColl.has(intf)) stale.emplace_back(vif, intf);
  }
  for (auto const& [vif, intf] : stale) {
    if (auto t = tr.at(8)) t << entry << " Deleting vif " << vif << " intfId " << intf;
    vifStatus_->intfIdColl.del(vif);
  }
  std::vector<std::pair<Plix::IntfId, VifIndex>> missing;
  for (auto const& [intf, vif] : vifStatus_->vifStatusColl) {
    auto const* back = vifStatus_->intfIdColl.find(vif);
    if (!back || *back != intf) missing.emplace_back(intf, vif);
  }
  for (auto const& [intf, vif] : missing) {
    if (auto t = tr.at(8)) t << entry << " Adding vif " << vif << " intfId " << intf;
    vifStatus_->intfIdColl.is(vif, intf);
  }
}

}  // namespace Routing::KernelMfib
