// Per-key notification, silence while inactive, and reactors that change the world from
// inside their own callbacks.

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"
#include "quib/NotifyingMap.h"
#include "trace/Context.h"

namespace {

class Table : public Quib::Entity {
 public:
  class NotifieeConst : public Quib::NotifieeBase<Table> {
   public:
    virtual void onValue(int) {}
    virtual void onValuequibImmediate() {}
  };
  using Quib::Entity::Entity;
  std::string_view typeName() const override { return "Test::Table"; }
  Quib::NotifyingMap<int, std::string, &NotifieeConst::onValue, &NotifieeConst::onValuequibImmediate> value{this};
};

class Recorder : public Table::NotifieeConst {
 public:
  explicit Recorder(Quib::Ptr<Table> t, std::vector<std::string>* log, std::string tag)
      : log_(log), tag_(std::move(tag)) {
    notifierIs(t);
    hasNotificationActiveIs(true);
  }
  void onValue(int k) override {
    log_->push_back(tag_ + ":" + std::to_string(k));
    if (action) action(k);
  }
  void onValuequibImmediate() override { log_->push_back(tag_ + ":*"); }
  void onNotifier() override { ++repointed; }
  std::function<void(int)> action;
  int repointed = 0;

 private:
  std::vector<std::string>* log_;
  std::string tag_;
};

TEST(Notification, OncePerChangedKeyAndOnlyWhileActive) {
  auto t = Quib::make<Table>("t");
  std::vector<std::string> log;
  Recorder r(t, &log, "r");
  struct Step {
    char const* what;
    std::function<void()> act;
    std::vector<std::string> heard;
  };
  std::vector<Step> steps = {
      {"add", [&] { t->value.is(1, "a"); }, {"r:1"}},
      {"same value is silent", [&] { t->value.is(1, "a"); }, {}},
      {"change", [&] { t->value.is(1, "b"); }, {"r:1"}},
      {"delete absent is silent", [&] { t->value.del(7); }, {}},
      {"delete", [&] { t->value.del(1); }, {"r:1"}},
      {"keyless", [&] { t->value.notifyKeyless(); }, {"r:*"}},
      {"inactive hears nothing", [&] { r.hasNotificationActiveIs(false); t->value.is(2, "x"); }, {}},
      {"active again", [&] { r.hasNotificationActiveIs(true); t->value.is(3, "y"); }, {"r:3"}},
      {"delAll per key in order", [&] { t->value.delAll(); }, {"r:2", "r:3"}},
  };
  for (auto& s : steps) {
    log.clear();
    s.act();
    EXPECT_EQ(log, s.heard) << s.what;
  }
}

TEST(Notification, CallbacksMayDetachDestroyAndMutate) {
  auto t = Quib::make<Table>("t");
  std::vector<std::string> log;
  auto a = std::make_unique<Recorder>(t, &log, "a");
  auto b = std::make_unique<Recorder>(t, &log, "b");
  auto c = std::make_unique<Recorder>(t, &log, "c");

  // a destroys b (not yet notified) and detaches itself; c still hears the change.
  a->action = [&](int) {
    b.reset();
    a->notifierIs(nullptr);
  };
  t->value.is(1, "x");
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "c:1"}));
  EXPECT_EQ(t->notifiees(), 1u);

  // c writes the collection it is being told about: the nested change is heard at once.
  log.clear();
  c->action = [&](int k) {
    if (k == 2) t->value.del(1);
  };
  t->value.is(2, "y");
  EXPECT_EQ(log, (std::vector<std::string>{"c:2", "c:1"}));
  EXPECT_FALSE(t->value.has(1));

  // A reactor attached during a notification first hears the next change.
  log.clear();
  std::unique_ptr<Recorder> late;
  c->action = [&](int) {
    if (!late) late = std::make_unique<Recorder>(t, &log, "late");
  };
  t->value.is(3, "z");
  EXPECT_EQ(log, (std::vector<std::string>{"c:3"}));
  t->value.is(4, "w");
  EXPECT_EQ(log, (std::vector<std::string>{"c:3", "c:4", "late:4"}));
}

TEST(Notification, ReactorHoldingTheLastReferenceMayDestroyItselfInCallback) {
  std::vector<std::string> log;
  auto t = Quib::make<Table>("t");
  auto r = std::make_unique<Recorder>(t, &log, "r");
  Table* raw = t.ptr();
  t = nullptr;  // the reactor's reference is the last one
  r->action = [&](int) { r.reset(); };
  raw->value.is(1, "x");  // must not touch freed memory (checked under the sanitizers)
  EXPECT_EQ(log, (std::vector<std::string>{"r:1"}));
  EXPECT_EQ(r, nullptr);
}

TEST(Notification, ACallbackThatThrowsEndsTheNotification) {
  auto t = Quib::make<Table>("t");
  std::vector<std::string> log;
  Recorder thrower(t, &log, "a");
  auto gone = std::make_unique<Recorder>(t, &log, "b");
  thrower.action = [&](int k) {
    if (k == 1) throw std::runtime_error("refused");
  };
  EXPECT_THROW(t->value.is(1, "x"), std::runtime_error);
  EXPECT_FALSE(t->notifying());
  gone.reset();  // outside any notification now: removed at once, not left as a hole
  EXPECT_EQ(t->notifiees(), 1u);
  log.clear();
  t->value.is(2, "y");
  EXPECT_EQ(log, std::vector<std::string>{"a:2"});
}

TEST(Notification, RepointingMovesTheRegistration) {
  auto t1 = Quib::make<Table>("t1");
  auto t2 = Quib::make<Table>("t2");
  std::vector<std::string> log;
  Recorder r(t1, &log, "r");
  EXPECT_EQ(r.repointed, 0) << "the first attachment is the reactor's creation";
  r.notifierIs(t2);
  EXPECT_EQ(r.repointed, 1);
  t1->value.is(1, "a");
  t2->value.is(2, "b");
  EXPECT_EQ(log, (std::vector<std::string>{"r:2"}));
  EXPECT_EQ(t1->notifiees(), 0u);
  EXPECT_EQ(t2->references(), 2);  // the test's and the reactor's
  r.notifierIs(nullptr);
  r.notifierIs(t1);
  EXPECT_EQ(r.repointed, 2) << "detaching is no re-pointing; attaching again is";
}

}  // namespace

namespace {

TEST(Notification, ACallbackRunsInTheTraceContextItsReactorWasBuiltIn) {
  auto t = Quib::make<Table>("t");
  std::vector<std::string> log;
  std::vector<std::string> contexts;
  auto record = [&](int) {
    auto const* c = Trace::currentContext();
    contexts.push_back(c ? std::string(*c) : "-");
  };
  std::optional<Recorder> red;
  {
    Trace::ContextScope scope(Trace::context("vrf=red"));
    red.emplace(t, &log, "red");
  }
  Recorder plain(t, &log, "plain");
  red->action = record;
  plain.action = record;
  {
    Trace::ContextScope writer(Trace::context("vrf=blue"));
    t->value.is(1, "a");
    EXPECT_EQ(std::string(*Trace::currentContext()), "vrf=blue") << "the writer's context is back after the callbacks";
  }
  EXPECT_EQ(contexts, (std::vector<std::string>{"vrf=red", "vrf=blue"}))
      << "a reactor built without a context leaves the writer's in force";
}

TEST(NotifyingAttr, NotifiesOnChangeOnly) {
  class Config : public Quib::Entity {
   public:
    class NotifieeConst : public Quib::NotifieeBase<Config> {
     public:
      virtual void onMax() {}
    };
    using Quib::Entity::Entity;
    std::string_view typeName() const override { return "Test::Config"; }
    Quib::NotifyingAttr<unsigned, &NotifieeConst::onMax> max{this, 512};
  };
  class Counter : public Config::NotifieeConst {
   public:
    void onMax() override { seen.push_back(notifier()->max()); }
    std::vector<unsigned> seen;
  };
  auto c = Quib::make<Config>("c");
  Counter r;
  r.notifierIs(c);
  r.hasNotificationActiveIs(true);
  c->max.is(512);
  c->max.is(3);
  c->max.is(3);
  c->max.is(0);
  EXPECT_EQ(r.seen, (std::vector<unsigned>{3, 0}));
}

}  // namespace
