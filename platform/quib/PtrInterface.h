#pragma once
// Base of every object shared by counted reference. Everything runs on one event-loop
// thread, so the count is a plain integer.

namespace Quib {

class PtrInterface {
 public:
  PtrInterface() = default;
  PtrInterface(PtrInterface const&) = delete;
  PtrInterface& operator=(PtrInterface const&) = delete;

  void newRef() const { ++references_; }
  void deleteRef() const {
    if (--references_ == 0) onZeroReferences();
  }
  long references() const { return references_; }

 protected:
  virtual ~PtrInterface() = default;
  virtual void onZeroReferences() const { delete this; }

 private:
  mutable long references_ = 0;
};

}  // namespace Quib
