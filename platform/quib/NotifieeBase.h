#pragma once
// A reactor on one entity of type T: holds a counted reference to it and registers itself
// with it for as long as it points at it. Its first attachment is its creation and calls
// nothing; re-pointing it later at another entity moves the registration and then calls
// `onNotifier()`, where a reactor re-reads everything.

#include <utility>

#include "quib/Entity.h"
#include "quib/NotifieeRoot.h"
#include "quib/Ptr.h"

namespace Quib {

template <class T>
class NotifieeBase : public NotifieeRoot {
 public:
  using Notifier = T;

  NotifieeBase() = default;
  ~NotifieeBase() override { detach(); }

  Ptr<T const> const& notifier() const { return notifier_; }

  void notifierIs(Ptr<T const> const& n) {
    if (n == notifier_) return;
    detach();
    notifier_ = n;
    if (notifier_) static_cast<Entity const&>(*notifier_).notifieeAdd(this);
    notifierChanged();
    if (!notifier_) return;
    if (std::exchange(attachedBefore_, true)) onNotifier();
  }

  // Called after the reactor was pointed at another entity, from its second attachment on.
  virtual void onNotifier() {}

 protected:
  // For reactor types of the framework itself (a clock reactor re-arms here), so that
  // onNotifier stays free for the machines.
  virtual void notifierChanged() {}

 private:
  void detach() {
    if (!notifier_) return;
    static_cast<Entity const&>(*notifier_).notifieeDel(this);
    notifier_ = nullptr;
  }

  Ptr<T const> notifier_;
  bool attachedBefore_ = false;
};

}  // namespace Quib
