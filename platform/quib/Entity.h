#pragma once
// An object of the state database: a name, a parent (plain back pointer), a type name,
// and the list of reactors that follow it. Entities notify their reactors per changed
// attribute and per changed key of a collection.
//
// Notification is safe against changes made by the callbacks themselves: a reactor that
// is detached or destroyed mid-notification is skipped (its slot is cleared and the list
// compacted once the outermost notification ends), a reactor attached mid-notification is
// first notified by the next change, and the entity is kept alive until the notification
// ends even if a callback drops the last reference to it.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "quib/Name.h"
#include "quib/NotifieeRoot.h"
#include "quib/Ptr.h"

namespace Quib {

class Entity : public PtrInterface {
 public:
  explicit Entity(Name name) : name_(std::move(name)) {}

  Name const& name() const { return name_; }
  Entity* parent() const { return parent_; }
  void parentIs(Entity* parent) { parent_ = parent; }
  // The path from the root: the parents' names and this one, joined by "/".
  std::string fullName() const;
  virtual std::string_view typeName() const = 0;

  void notifieeAdd(NotifieeRoot* n) const;
  void notifieeDel(NotifieeRoot* n) const;
  std::size_t notifiees() const;
  // True while reactors are being told of a change.
  bool notifying() const { return notifying_ > 0; }

  // Calls `(reactor->*callback)(args...)` on every active reactor. N is the entity's
  // notifiee type; reactors registered with this entity are of that type.
  template <class N, class... P, class... A>
  void notify(void (N::*callback)(P...), A const&... args) const {
    Ptr<Entity const> keep = references() > 0 ? Ptr<Entity const>(this) : Ptr<Entity const>();
    Notifying const scope(*this);  // ends the notification also when a callback throws
    std::size_t const n = notifiees_.size();
    for (std::size_t i = 0; i < n; ++i) {
      NotifieeRoot* r = notifiees_[i];
      if (!r || !r->isNotificationActive()) continue;
      Trace::ContextScope const context(r->traceContext());
      (static_cast<N*>(r)->*callback)(args...);
    }
  }

 protected:
  ~Entity() override;

 private:
  class Notifying {
   public:
    explicit Notifying(Entity const& e) : e_(e) { ++e_.notifying_; }
    ~Notifying() {
      if (--e_.notifying_ == 0 && e_.compactPending_) e_.compact();
    }
    Notifying(Notifying const&) = delete;
    Notifying& operator=(Notifying const&) = delete;

   private:
    Entity const& e_;
  };
  void compact() const;

  Name name_;
  Entity* parent_ = nullptr;
  mutable std::vector<NotifieeRoot*> notifiees_;
  mutable int notifying_ = 0;
  mutable bool compactPending_ = false;
};

inline std::ostream& operator<<(std::ostream& os, Entity const& e) { return os << e.fullName(); }

}  // namespace Quib
