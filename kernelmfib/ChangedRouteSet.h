#pragma once
// The route changes a KernelMfibSm has yet to review: pairs of table and key, each pair
// once however often it changed, drained in the order of the pairs (the table's id, then
// the key), which is the order of the review's kernel calls and traces.
//
// Sized for a million pending changes: the keys of each table sit in a BufferedOrderedSet,
// IPv4 keys packed into twelve bytes and others whole, and each table is held once, not
// once per key. A table keeps its counted reference while it has a key here, so that a
// table that has left its VRF can still be named when its keys come up.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "halm/MfibHalmDirRouteKey.h"
#include "halm/Status.h"
#include "quib/BufferedOrderedSet.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class ChangedRouteSet {
 public:
  using Table = Halm::Multicast::Fib::Status;
  using TableKey = Halm::Multicast::Fib::MfibHalmDirRouteKey;
  using RouteKey = Routing::Multicast::Fib::IpGenRouteKey;

  void insert(TableKey const& k);
  void erase(TableKey const& k);
  bool contains(TableKey const& k) const;
  // The first pair in order, and its removal; the set must not be empty. Taking the first
  // pair this way spares the search for it that erase makes.
  TableKey front() const;
  void popFront();
  // The keys of the first pairs in order, as many as fit in `keys` (fewer at the end of
  // the first table's keys), all of the first table; how many. The set must not be empty.
  std::size_t frontKeys(std::span<RouteKey> keys) const;
  Table const* frontTable() const { return tables_.front().table.ptr(); }
  std::uint32_t frontTableId() const { return tables_.front().id; }
  // Counts the changes other than popFront: pairs read ahead with frontKeys are still the
  // first ones while it stands.
  std::uint64_t changes() const { return changes_; }
  bool empty() const { return tables_.empty(); }
  std::size_t size() const;
  void clear() {
    ++changes_;
    tables_.clear();
    first_ = First::unknown;
  }

 private:
  // An IPv4 key, ordered as the whole key orders: group before source, a prefix's length
  // before its address.
  struct PackedKey {
    std::uint32_t group;
    std::uint32_t source;
    std::uint8_t groupLen;
    std::uint8_t sourceLen;
    friend std::strong_ordering operator<=>(PackedKey const& a, PackedKey const& b) {
      if (auto c = a.groupLen <=> b.groupLen; c != 0) return c;
      if (auto c = a.group <=> b.group; c != 0) return c;
      if (auto c = a.sourceLen <=> b.sourceLen; c != 0) return c;
      return a.source <=> b.source;
    }
    friend bool operator==(PackedKey const&, PackedKey const&) = default;
  };
  // False for a key that does not pack (not IPv4).
  static bool packed(RouteKey const& key, PackedKey& out);
  static RouteKey unpacked(PackedKey const& key);

  struct TableKeys {
    Quib::Ptr<Table const> table;
    std::uint32_t id;
    Quib::BufferedOrderedSet<PackedKey> v4;
    Quib::BufferedOrderedSet<RouteKey> other;
    bool empty() const { return v4.empty() && other.empty(); }
  };
  // Whether the table's first key is among its IPv4 keys; it must have keys.
  static bool v4First(TableKeys const& t);
  // The same for the first table, as front() found it when nothing has changed since.
  bool firstInV4() const;
  // Tables order as pairs order them: by id, then by address.
  static bool before(TableKeys const& t, TableKey const& k);
  // The table's place in tables_, or where it would go.
  std::vector<TableKeys>::iterator place(TableKey const& k);
  std::vector<TableKeys>::const_iterator place(TableKey const& k) const;
  static bool holds(TableKeys const& t, TableKey const& k) { return t.id == k.tableId() && t.table.ptr() == k.table(); }

  // In the order pairs order their tables; none without keys.
  std::vector<TableKeys> tables_;
  // Which keys of the first table front() took the first pair from: the review pops the
  // pair it has just read, without comparing the two kinds of keys again.
  enum class First : std::uint8_t { unknown, v4, other };
  mutable First first_ = First::unknown;
  std::uint64_t changes_ = 0;
};

}  // namespace Routing::KernelMfib
