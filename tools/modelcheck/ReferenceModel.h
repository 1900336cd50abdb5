#pragma once
// What the kernel must hold at rest, worked out from the statements alone: a small model of
// the platform the statements build (namespaces, devices, interfaces, VRFs, configurations,
// requests, tables and routes) and of which per-VRF machines exist, in which namespace. It
// never calls the agent: the only thing it takes from a run is the published VIF status,
// through which it translates each VRF's best routes into the MFC entries the kernel must
// hold. The generator steers by it too, so that every statement it writes is accepted.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "plix/AddressFamily.h"
#include "tools/kmfibd/Statement.h"

namespace ModelCheck {

class ReferenceModel {
 public:
  using Address = std::array<std::uint8_t, 16>;

  struct Key {
    Address source{};
    std::uint8_t sourceLen = 0;
    Address group{};
    std::uint8_t groupLen = 0;
    friend auto operator<=>(Key const&, Key const&) = default;
  };

  struct Route {
    std::string iif;  // empty: none
    std::vector<std::string> oifs;
    std::uint8_t flags = 0;
  };

  struct Table {
    std::uint32_t preference = 100;
    std::map<Key, Route> routes;
  };

  // The namespace's two limits for unresolved traffic, as a VRF's configuration sets them.
  struct Limits {
    std::uint32_t entries = 10;
    std::uint32_t buffers = 3;
    friend bool operator==(Limits const&, Limits const&) = default;
  };

  // A per-VRF machine: the namespace it was built in, which a later move of its VRF from
  // one namespace straight to another does not change. The default VRF's machine outlives
  // its configuration: it keeps the one it had, and the route collection it held, until a
  // configuration comes again.
  struct Machine {
    std::string ns;
    std::uint16_t max = 512;      // the configuration's: the bound of the next allocation
    std::uint16_t maxSeen = 512;  // the largest since the machine was built: no index reaches it
    std::optional<unsigned> collection;  // the generation of the VRF's route collection it holds
    Limits limits;                       // of the configuration it follows
  };

  // One kernel MFC entry as the tables and the VIF status make it.
  struct Entry {
    std::uint16_t iif = 0xffff;
    std::set<std::uint16_t> oifs;
    friend bool operator==(Entry const&, Entry const&) = default;
  };

  // Interface name to VIF index, as a VRF's status publishes its registrations.
  using Registered = std::map<std::string, std::uint16_t>;

  explicit ReferenceModel(Plix::AddressFamily af);
  static Key keyOf(Routing::Multicast::Fib::IpGenRouteKey const& k);

  void apply(Kmfibd::Statement const& s);

  // The inputs, for the generator and the checker.
  Plix::AddressFamily af() const { return af_; }
  std::set<std::string> const& namespaces() const { return namespaces_; }
  std::map<std::string, std::uint32_t> links(std::string const& ns) const;
  std::map<std::string, std::string> const& intfs() const { return intfDev_; }
  std::map<std::string, std::string> const& vrfs() const { return vrfNs_; }
  std::map<std::string, std::uint16_t> const& configs() const { return configMax_; }
  // Per namespace, the values each limit may hold: more than one when machines built
  // together in one namespace wrote them in an order of the agent's choosing.
  std::map<std::string, std::pair<std::set<std::uint32_t>, std::set<std::uint32_t>>> const& limits() const {
    return limits_;
  }
  std::map<std::string, std::map<std::string, std::map<std::string, bool>>> const& requests() const {
    return requests_;
  }
  std::map<std::string, std::map<std::string, Table>> const& tables() const { return tables_; }
  std::map<std::string, Machine> const& machines() const { return machines_; }
  bool agentUp() const { return agentUp_; }

  // Interfaces that some application asks for, true, in the VRF.
  std::set<std::string> requested(std::string const& vrf) const;
  // Whether the interface may lack a VIF index: when it last joined (or its machine was
  // built, or the VRF's `max` changed) every index may have been taken.
  bool mayLackIndex(std::string const& vrf, std::string const& intf) const;
  // The kernel interface index of the interface's device in the namespace, if present.
  std::optional<std::uint32_t> deviceIndex(std::string const& ns, std::string const& intf) const;
  // Whether the machine holds the VRF's current route collection (a machine may hold one
  // that went).
  bool followsTables(std::string const& vrf) const;
  // The entries the VRF's best routes make, translated through `registered`.
  std::map<Key, Entry> expectedMfc(std::string const& vrf, Registered const& registered) const;
  // The table holding the best route of the key in the VRF, if any.
  std::optional<std::string> bestTable(std::string const& vrf, Key const& key) const;

 private:
  void evaluate();
  bool evaluate(std::string const& vrf);  // true: the machine was built now
  void allocationPoint(std::string const& vrf);
  void joined(std::string const& vrf, std::string const& intf);
  std::set<std::string> tableVrfs() const;
  void written(std::string const& ns, std::optional<std::uint32_t> entries, std::optional<std::uint32_t> buffers);

  Plix::AddressFamily af_;
  std::set<std::string> namespaces_{"default"};
  std::map<std::string, std::map<std::string, std::uint32_t>> links_;
  std::map<std::string, std::string> intfDev_;
  std::map<std::string, std::string> vrfNs_;
  std::map<std::string, std::uint16_t> configMax_;
  std::map<std::string, Limits> configLimits_;
  std::map<std::string, unsigned> collection_;  // per VRF: generation of its current route collection
  std::map<std::string, std::pair<std::set<std::uint32_t>, std::set<std::uint32_t>>> limits_;
  std::map<std::string, std::map<std::string, std::map<std::string, bool>>> requests_;
  std::map<std::string, std::map<std::string, Table>> tables_;
  std::map<std::string, Machine> machines_;
  std::set<std::pair<std::string, std::string>> mayLack_;
  bool agentUp_ = false;
};

}  // namespace ModelCheck
