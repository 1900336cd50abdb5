#pragma once
// What has been stated to a daemon, object by object: for every netns, link, intf, vrf,
// config, request, table and route the statement that describes it now, under a key naming
// the object ("6 table VRF TABLE", "7 route VRF TABLE SOURCE GROUP"). The leading rank makes
// an object sort after the objects it needs (a link after its namespace, a route after its
// table).
//
// A daemon keeps one of these for everything it carries out and one per configuration file;
// `batch` turns two of them into the statements that lead from one to the other, which is
// how a re-read configuration file is applied as one change. Statements are held shared
// and never changed in place: the copies a daemon keeps of a million routes hold each
// route's statement once, and an unchanged object is seen as such without comparing.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/kmfibd/Statement.h"

namespace Kmfibd {

class StatedObjects {
 public:
  // The key of the object a statement (or its `no` form) is about; empty for statements
  // that state no object (show, advance, restart, fault).
  static std::string keyOf(Statement const& s);

  // Records a statement: a statement sets its object (a `config` adds the attributes it
  // names to those already stated); a `no` form removes the object and what depends on it
  // (a table's routes, a namespace's links, an application's requests). Returns the keys it
  // touched.
  std::vector<std::string> apply(Statement const& s);

  bool has(std::string const& key) const { return objects_.count(key) != 0; }
  using Held = std::shared_ptr<Statement const>;

  Statement const* find(std::string const& key) const;
  // The object of `key` as `other` holds it, shared; nothing when `other` holds none.
  void isFrom(std::string const& key, StatedObjects const& other);
  void del(std::string const& key) { objects_.erase(key); }
  std::map<std::string, Held> const& objects() const { return objects_; }

  // Why the statement's object cannot stand among these objects: something it needs is not
  // stated (the default namespace needs no statement), or another device of its namespace
  // has its interface index. Empty when it can.
  std::string conflict(Statement const& s) const;

  // The statements leading from `from` to `to`: first the removals, dependents before what
  // they depend on, then the additions and changes in key order. A changed object whose new
  // statement no longer names an attribute the old one did gets that attribute's default.
  static std::vector<Statement> batch(StatedObjects const& from, StatedObjects const& to);

 private:
  std::map<std::string, Held> objects_;
};

}  // namespace Kmfibd
