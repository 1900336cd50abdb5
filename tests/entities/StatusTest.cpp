// The VIF status and configuration entities: what their readers hear, per key and in
// declaration order, and what a fresh configuration holds.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "entities/Config.h"
#include "entities/ConfigColl.h"
#include "entities/Status.h"

namespace {

using Routing::KernelMfib::Config;
using Routing::KernelMfib::ConfigColl;
using Routing::KernelMfib::Status;
using Routing::KernelMfib::VifIndex;

class StatusLog : public Status::NotifieeConst {
 public:
  void onVifConfigColl(Plix::IntfId i) override { log.push_back("config:" + i.name()); }
  void onVifConfigCollquibImmediate() override { log.push_back("config:*"); }
  void onVifStatusColl(Plix::IntfId i) override { log.push_back("status:" + i.name()); }
  void onVifStatusCollquibImmediate() override { log.push_back("status:*"); }
  void onIntfIdColl(VifIndex v) override { log.push_back("intf:" + std::to_string(v)); }
  void onIntfIdCollquibImmediate() override { log.push_back("intf:*"); }
  std::vector<std::string> log;
};

TEST(Status, EachCollectionNotifiesItsOwnCallbackPerKey) {
  auto s = Quib::make<Status>("red");
  StatusLog r;
  r.notifierIs(s);
  r.hasNotificationActiveIs(true);
  Plix::IntfId const e1("Ethernet1");
  Plix::IntfId const e2("Ethernet2");
  struct Step {
    char const* what;
    std::function<void()> act;
    std::vector<std::string> heard;
  };
  std::vector<Step> const steps = {
      {"allocate", [&] { s->vifConfigColl.is(e1, 1); }, {"config:Ethernet1"}},
      {"register in the kernel, then the reverse entry",
       [&] {
         s->vifStatusColl.is(e1, 1);
         s->intfIdColl.is(1, e1);
       },
       {"status:Ethernet1", "intf:1"}},
      {"a second interface", [&] { s->vifConfigColl.is(e2, 2); }, {"config:Ethernet2"}},
      {"moving an index", [&] { s->vifConfigColl.is(e2, 3); }, {"config:Ethernet2"}},
      {"delAll per key in key order", [&] { s->vifConfigColl.delAll(); }, {"config:Ethernet1", "config:Ethernet2"}},
      {"keyless, each its own",
       [&] {
         s->intfIdColl.notifyKeyless();
         s->vifStatusColl.notifyKeyless();
         s->vifConfigColl.notifyKeyless();
       },
       {"intf:*", "status:*", "config:*"}},
      {"deregister", [&] { s->vifStatusColl.del(e1); }, {"status:Ethernet1"}},
  };
  for (auto const& step : steps) {
    r.log.clear();
    step.act();
    EXPECT_EQ(r.log, step.heard) << step.what;
  }
  EXPECT_EQ(s->vifStatusColl.find(e1), nullptr);
  EXPECT_EQ(s->intfIdColl(1), e1);
  EXPECT_EQ(s->vifConfigColl(e2), 0) << "absent reads as the empty value";
}

class ConfigLog : public Config::NotifieeConst {
 public:
  void onMaxUnresolvedCacheEntries() override {
    log.push_back("entries=" + std::to_string(notifier()->maxUnresolvedCacheEntries()));
  }
  void onMaxUnresolvedPktBuffers() override {
    log.push_back("buffers=" + std::to_string(notifier()->maxUnresolvedPktBuffers()));
  }
  void onMax() override { log.push_back("max=" + std::to_string(notifier()->max())); }
  std::vector<std::string> log;
};

TEST(Config, StartsAtTheDefaultsAndNotifiesPerAttribute) {
  auto coll = Quib::make<ConfigColl>("config");
  auto red = coll->vrfConfig.is("red");
  EXPECT_EQ(red->maxUnresolvedCacheEntries(), 10u);
  EXPECT_EQ(red->maxUnresolvedPktBuffers(), 3u);
  EXPECT_EQ(red->max(), 512);
  EXPECT_EQ(red->fullName(), "config/red");

  ConfigLog r;
  r.notifierIs(red);
  r.hasNotificationActiveIs(true);
  red->max.is(512);
  red->max.is(32);
  red->maxUnresolvedPktBuffers.is(4);
  red->maxUnresolvedCacheEntries.is(4294967295u);
  EXPECT_EQ(r.log, (std::vector<std::string>{"max=32", "buffers=4", "entries=4294967295"}));
}

}  // namespace
