// Owned children: the uniform accessors, their notifications, the refusal of a re-creation
// with other arguments, and the keep-or-replace rule of a single owned attribute.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quib/Dir.h"
#include "quib/OwnedAttr.h"
#include "quib/OwnedColl.h"

namespace {

// A child machine: built from its key and one entity, switched on and off by its owner.
class Child : public Quib::PtrInterface {
 public:
  Child(std::string key, Quib::Ptr<Quib::Dir const> source) : key_(std::move(key)), source_(std::move(source)) {}
  auto constructorArgs() const { return std::tuple(Quib::arg("_multicastIntfsForApp", source_)); }
  void hasNotificationActiveIs(bool on) { switches.push_back(on); }
  std::vector<bool> switches;

 private:
  std::string key_;
  Quib::Ptr<Quib::Dir const> source_;
};

class Leaf : public Quib::Entity {
 public:
  using Quib::Entity::Entity;
  std::string_view typeName() const override { return "Test::Leaf"; }
};

class Root : public Quib::PtrInterface {
 public:
  Root(int af, std::string name) : af_(af), name_(std::move(name)) {}
  auto constructorArgs() const { return std::tuple(Quib::arg("af", af_), Quib::arg("name", name_)); }
  void hasNotificationActiveIs(bool on) { active = on; }
  bool active = false;

 private:
  int af_;
  std::string name_;
};

TEST(OwnedColl, AccessorsAndRefusal) {
  auto app = Quib::make<Quib::Dir>("app");
  auto other = Quib::make<Quib::Dir>("other");
  auto root = Quib::make<Quib::Dir>("");
  root->entityPtrIs("app", app);
  root->entityPtrIs("other", other);

  Quib::OwnedColl<std::string, Child> coll;
  EXPECT_EQ(coll("vrf1"), nullptr);
  auto c = coll.is("vrf1", Quib::Ptr<Quib::Dir const>(app));
  EXPECT_EQ(c->switches, std::vector<bool>{true});
  EXPECT_EQ(coll.is("vrf1", Quib::Ptr<Quib::Dir const>(app)), c) << "same arguments return the member";
  EXPECT_EQ(c->switches, std::vector<bool>{true}) << "and do not switch it again";

  try {
    coll.is("vrf1", Quib::Ptr<Quib::Dir const>(other));
    FAIL() << "re-creation with another argument must be refused";
  } catch (Quib::NameInUseException const& e) {
    EXPECT_STREQ(e.what(),
                 "Reinstantiating the pointer interface where constructor parameter attribute "
                 "_multicastIntfsForApp has a different value of other than the current value of app not allowed");
  }
  EXPECT_EQ(coll("vrf1"), c) << "a refusal changes nothing";

  coll.is("vrf2", Quib::Ptr<Quib::Dir const>(other));
  coll.del("vrf1");
  EXPECT_EQ(c->switches, (std::vector<bool>{true, false})) << "switched off before removal";
  EXPECT_FALSE(coll.has("vrf1"));
  coll.delAll();
  EXPECT_TRUE(coll.empty());
}

TEST(OwnedColl, InsideAnEntityNotifiesPerKeyAndSetsParent) {
  class Owner : public Quib::Entity {
   public:
    class NotifieeConst : public Quib::NotifieeBase<Owner> {
     public:
      virtual void onChild(std::string const&) {}
    };
    using Quib::Entity::Entity;
    std::string_view typeName() const override { return "Test::Owner"; }
    Quib::OwnedColl<std::string, Quib::Dir, &NotifieeConst::onChild> child{this};
  };
  class Listener : public Owner::NotifieeConst {
   public:
    void onChild(std::string const& k) override {
      auto c = notifier()->child(k);
      heard.push_back(k + (c ? "+" : "-"));
    }
    std::vector<std::string> heard;
  };
  auto owner = Quib::make<Owner>("owner");
  Listener l;
  l.notifierIs(owner);
  l.hasNotificationActiveIs(true);
  auto d = owner->child.is("a");
  EXPECT_EQ(d->fullName(), "owner/a");
  owner->child.is("b");
  owner->child.del("a");
  EXPECT_EQ(d->parent(), nullptr);
  owner->child.delAll();
  EXPECT_EQ(l.heard, (std::vector<std::string>{"a+", "b+", "a-", "b-"}));
}

TEST(OwnedAttr, KeepsOnEqualArgumentsReplacesOnAnyDifference) {
  Quib::OwnedAttr<Root> attr;
  auto first = attr.is(1, std::string("x"));
  EXPECT_TRUE(first->active);
  EXPECT_EQ(attr.is(1, std::string("x")), first);
  auto second = attr.is(1, std::string("y"));
  EXPECT_NE(second, first);
  EXPECT_FALSE(first->active) << "the replaced object is switched off";
  EXPECT_TRUE(second->active);
  EXPECT_NE(attr.is(2, std::string("y")), second);
  attr.del();
  EXPECT_EQ(attr(), nullptr);
}

// Logs its construction and destruction; `successor` is a value only it holds.
class Logged : public Quib::PtrInterface {
 public:
  Logged(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {
    log_->push_back("build " + name_);
  }
  ~Logged() override { log_->push_back("delete " + name_); }
  auto constructorArgs() const { return std::tuple(Quib::arg("log", log_), Quib::arg("name", name_)); }
  std::string const& successor() const { return successor_; }

 private:
  std::vector<std::string>* log_;
  std::string name_;
  std::string successor_ = name_ + "'";
};

TEST(OwnedAttr, DeletesTheOldObjectBeforeBuildingItsReplacement) {
  std::vector<std::string> log;
  Quib::OwnedAttr<Logged> attr;
  attr.is(&log, std::string("a"));
  attr.is(&log, std::string("a"));
  attr.is(&log, std::string("b"));
  attr.is(&log, attr()->successor());  // an argument that only the old object holds
  EXPECT_EQ(log, (std::vector<std::string>{"build a", "delete a", "build b", "delete b", "build b'"}));
}

TEST(Dir, EntriesPathsAndNotifications) {
  class Listener : public Quib::Dir::NotifieeConst {
   public:
    void onEntityPtr(Quib::Name const& n) override { heard.push_back(n); }
    void onEntityPtrquibImmediate() override { heard.push_back("*"); }
    std::vector<std::string> heard;
  };
  auto root = Quib::make<Quib::Dir>("");
  auto fib = root->mkdirs("routing/multicast/fib");
  ASSERT_TRUE(fib);
  EXPECT_EQ(fib->fullName(), "routing/multicast/fib");
  EXPECT_EQ(root->entityAt("routing/multicast/fib"), fib);
  EXPECT_EQ(root->entityAt("/routing//multicast/fib/"), fib);
  EXPECT_EQ(root->entityAt("routing/unicast"), nullptr);

  Listener l;
  l.notifierIs(fib);
  l.hasNotificationActiveIs(true);
  auto vrf = fib->mkdir("vrf1");
  EXPECT_EQ(fib->mkdir("vrf1"), vrf) << "an existing directory is returned, silently";
  auto replacement = Quib::make<Quib::Dir>("vrf1");
  fib->entityPtrIs("vrf1", replacement);
  EXPECT_EQ(vrf->parent(), nullptr);
  EXPECT_EQ(replacement->parent(), fib.ptr());
  fib->notifyImmediate();
  fib->entityPtrDel("vrf1");
  fib->entityPtrDel("vrf1");
  EXPECT_EQ(l.heard, (std::vector<std::string>{"vrf1", "vrf1", "*", "vrf1"}));

  // A step taken by a non-directory entity stops both lookup and creation.
  root->entityPtrIs("leaf", Quib::make<Leaf>("leaf"));
  EXPECT_EQ(root->entityAt("leaf/below"), nullptr);
  EXPECT_EQ(root->mkdirs("leaf/below"), nullptr);
  EXPECT_EQ(root->entity<Quib::Dir>("leaf"), nullptr) << "typed lookup of another type is empty";
  EXPECT_NE(root->entity<Leaf>("leaf"), nullptr);
}

}  // namespace
