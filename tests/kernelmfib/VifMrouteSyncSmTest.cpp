// The VIF-change review: which routes a walk requests, in which order and how often, the
// slices a walk is cut into, and the texts operators grep for.

#include "kernelmfib/VifMrouteSyncSm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/ActivityManager.h"
#include "tests/support/TempDir.h"
#include "trace/CaptureSink.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"
#include "trace/vorlak/Reader.h"
#include "trace/vorlak/Vorlak.h"

namespace {

using namespace Routing::KernelMfib;
using ::testing::ElementsAre;
using Table = Halm::Multicast::Fib::Status;
using Key = Routing::Multicast::Fib::IpGenRouteKey;

Key key(int n) {
  return Key(Plix::IpGenPrefix::parse("10.0.0." + std::to_string(n)), Plix::IpGenPrefix::parse("239.1.1.1"));
}

template <class T>
std::string str(T const& v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

// Route n of a table: source 10.0.0.n, its incoming and outgoing interfaces.
struct RouteSpec {
  char const* table;
  int n;
  char const* iif;
  std::vector<char const*> oifs;
};

// Records each request as "table rN" when its increment arrives, charging `cost` for it.
class Recorder : public KeyToSync::NotifieeConst {
 public:
  void onHalmKey() override { events.push_back("halmKey"); }
  void onKey() override { events.push_back("key"); }
  void onChangeCount() override {
    events.push_back("changeCount");
    requests.push_back(notifier()->halmKey()->name() + " r" + std::to_string(notifier()->key().source().address()[3]));
    Quib::activityManager()->loop().addTime(cost);
  }
  double cost = 0;
  std::vector<std::string> requests;
  std::vector<std::string> events;
};

class World {
 public:
  explicit World(std::vector<RouteSpec> const& routes) {
    for (auto const& r : routes) routeIs(r);
    recorder.notifierIs(keyToSync);
    recorder.hasNotificationActiveIs(true);
  }
  Quib::Ptr<Table> table(std::string const& name) {
    auto& t = tables[name];
    if (!t) coll->halmPtrIs(t = Quib::make<Table>(name));
    return t;
  }
  void routeIs(RouteSpec const& r) {
    std::vector<Plix::IntfId> oifs(r.oifs.begin(), r.oifs.end());
    table(r.table)->routeIs(Halm::Multicast::Fib::Route(key(r.n), Plix::IntfId(r.iif), oifs, 0));
  }
  void start() {
    sm = VifMrouteSyncSm::VifMrouteSyncSmIs(L3::VrfName("red"), vifStatus, coll, am.clock(), keyToSync);
    addr = str(static_cast<void const*>(sm.ptr()));
  }
  void vif(char const* intf, int vif) {
    if (vif < 0) return vifStatus->vifStatusColl.del(Plix::IntfId(intf));
    vifStatus->vifStatusColl.is(Plix::IntfId(intf), static_cast<VifIndex>(vif));
  }
  // A slice: what is due now, and nothing that a slice's cost has pushed later.
  void slice() { am.loop().advance(0.1); }
  std::vector<std::string> texts() const { return sink.texts("VifMrouteSyncSm"); }
  long count(std::string const& text) const {
    auto const all = texts();
    return std::count(all.begin(), all.end(), text);
  }
  std::vector<std::string> selected() const {
    std::vector<std::string> out;
    for (auto const& t : texts()) {
      if (t.starts_with("Selecting ")) out.push_back(t);
    }
    return out;
  }
  std::string selecting(char const* table, int n) const {
    return "Selecting " + str(key(n)) + " from halm table " + table;
  }

  Trace::CaptureSink sink;
  Trace::SinkScope sinkScope{sink};
  Trace::SelectionScope selection{"VifMrouteSyncSm/0-8"};
  Quib::ActivityManager am;
  Quib::Ptr<Status> vifStatus = Quib::make<Status>("red");
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
  std::map<std::string, Quib::Ptr<Table>> tables;
  Quib::Ptr<KeyToSync> keyToSync = Quib::make<KeyToSync>(L3::VrfName("red"));
  Recorder recorder;
  Quib::Ptr<VifMrouteSyncSm> sm;
  std::string addr;
};

std::vector<RouteSpec> const fourRoutes = {{"a", 1, "Ethernet1", {"Ethernet2"}},
                                           {"a", 2, "Ethernet3", {"Ethernet4", "Ethernet1"}},
                                           {"a", 3, "Ethernet2", {"Ethernet3"}},
                                           {"a", 4, "Ethernet4", {"Ethernet3"}}};

TEST(VifMrouteSyncSmTest, RequestsEveryRouteUsingACollectedInterfaceOnce) {
  struct Change {
    char const* intf;
    int vif;  // below 0 removes the entry
  };
  struct Case {
    char const* name;
    std::vector<Change> atConstruction;
    std::vector<Change> changes;
    std::size_t collected;
    std::vector<std::string> requests;
    std::vector<std::string> tracedAfterAddress;
  };
  std::vector<Case> const cases = {
      {"incoming or outgoing", {}, {{"Ethernet1", 3}}, 1, {"a r1", "a r2"},
       {" handleNewVifAllocation vif changed for IntfId: Ethernet1"}},
      {"deletions are ignored", {{"Ethernet1", 3}, {"Ethernet2", 4}}, {{"Ethernet1", -1}, {"Ethernet2", 0}}, 0, {},
       {" handleNewVifAllocation vif deletions are ignored. IntfId: Ethernet1",
        " handleNewVifAllocation vif deletions are ignored. IntfId: Ethernet2"}},
      {"one interface twice", {}, {{"Ethernet1", 3}, {"Ethernet1", 5}}, 1, {"a r1", "a r2"}, {}},
      {"two interfaces of one route", {}, {{"Ethernet1", 3}, {"Ethernet2", 4}}, 2, {"a r1", "a r2", "a r3"}, {}},
      {"present at construction", {{"Ethernet3", 7}}, {}, 0, {}, {}},
      {"present at construction, changed again", {{"Ethernet3", 7}}, {{"Ethernet3", 8}}, 1, {"a r2", "a r3", "a r4"}, {}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    World w(fourRoutes);
    for (auto const& [intf, vif] : c.atConstruction) w.vif(intf, vif);
    w.start();
    for (auto const& [intf, vif] : c.changes) w.vif(intf, vif);
    EXPECT_EQ(w.sm->insertChangeSet()->changedIntfs(), c.collected);
    w.am.loop().advance(1.0);
    EXPECT_EQ(w.recorder.requests, c.requests);
    bool const walked = !c.requests.empty();
    EXPECT_EQ(w.count(w.addr + " doReview, Starting review"), walked ? 1 : 0);
    EXPECT_EQ(w.selected().size(), walked ? 4u : 0u) << "every route is selected once, requested or not";
    for (auto const& t : c.tracedAfterAddress) EXPECT_EQ(w.count(w.addr + t), 1) << t;
    EXPECT_TRUE(w.sm->insertChangeSet()->empty());
    EXPECT_FALSE(w.sm->reviewTimer()->reviewPending());
  }
}

TEST(VifMrouteSyncSmTest, AWalkTracesAndRequestsInProtocolOrder) {
  World w({{"a", 1, "Ethernet1", {"Ethernet2"}}, {"a", 2, "Ethernet3", {}}});
  w.recorder.hasNotificationActiveIs(false);
  w.keyToSync->changeCount.is(255);
  w.recorder.hasNotificationActiveIs(true);
  w.recorder.cost = 0.25;
  w.start();
  w.vif("Ethernet1", 3);
  w.slice();
  EXPECT_THAT(w.texts(), ElementsAre(w.addr + " handleNewVifAllocation vif changed for IntfId: Ethernet1",
                                     w.addr + " doReview, Starting review", w.selecting("a", 1),
                                     " Interface Ethernet1 is in the changed set",
                                     w.addr + " doReview This key needs to be re-programmed " + str(key(1)),
                                     w.selecting("a", 2), w.addr + " doReview, Finished review"));
  EXPECT_THAT(w.recorder.events, ElementsAre("halmKey", "key", "changeCount"));
  EXPECT_EQ(w.keyToSync->changeCount(), 0) << "255 wraps and is still a request";
  EXPECT_EQ(w.recorder.requests, std::vector<std::string>{"a r1"});
  EXPECT_EQ(w.sm->reviewChangeSet(), nullptr);
  EXPECT_FALSE(w.sm->walkSuspended());
  EXPECT_EQ(w.sm->reviewTimer()->lastReviewTime(), 0.25) << "when the walk ended, after its request";
}

TEST(VifMrouteSyncSmTest, SlicesResumeAtTheFirstRouteNotVisited) {
  // Route 2 does not use Ethernet1; a slice's time goes only on the requests.
  std::vector<RouteSpec> const routes = {{"a", 1, "Ethernet1", {}},
                                         {"a", 2, "Ethernet2", {}},
                                         {"b", 3, "Ethernet3", {"Ethernet1"}},
                                         {"b", 4, "Ethernet1", {}}};
  struct Case {
    double cost;
    std::vector<std::vector<std::string>> slices;  // requests per slice
    std::vector<std::string> resumedAt;
  };
  std::vector<Case> const cases = {
      {5.0, {{"a r1"}, {"b r3"}, {"b r4"}}, {"a and route " + str(key(2)), "b and route " + str(key(4))}},
      {2.5, {{"a r1", "b r3"}, {"b r4"}}, {"b and route " + str(key(4))}},
      {1.0, {{"a r1", "b r3", "b r4"}}, {}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.cost);
    World w(routes);
    w.recorder.cost = c.cost;
    w.start();
    w.vif("Ethernet1", 3);
    for (auto const& expected : c.slices) {
      w.recorder.requests.clear();
      w.slice();
      EXPECT_EQ(w.recorder.requests, expected);
    }
    EXPECT_EQ(w.count(w.addr + " doReview, Suspending review"), static_cast<long>(c.slices.size() - 1));
    EXPECT_EQ(w.texts().back(), w.addr + " doReview, Finished review") << "a deadline on the last route finishes";
    EXPECT_THAT(w.selected(), ElementsAre(w.selecting("a", 1), w.selecting("a", 2), w.selecting("b", 3),
                                          w.selecting("b", 4)));
    for (auto const& at : c.resumedAt) EXPECT_EQ(w.count(w.addr + " doReview, Resuming review from halm table " + at), 1);
    EXPECT_FALSE(w.sm->walkSuspended());
  }
}

TEST(VifMrouteSyncSmTest, AnInterfaceChangedDuringAWalkWaitsForTheNextWalk) {
  World w({{"a", 1, "Ethernet1", {}}, {"a", 2, "Ethernet2", {}}, {"a", 3, "Ethernet2", {"Ethernet1"}}});
  w.recorder.cost = 5.0;
  w.start();
  w.vif("Ethernet1", 3);
  w.slice();
  ASSERT_EQ(w.sm->marker(), key(2));
  w.vif("Ethernet2", 4);
  EXPECT_TRUE(w.sm->insertChangeSet()->changedIntf(Plix::IntfId("Ethernet2")));
  EXPECT_FALSE(w.sm->reviewChangeSet()->changedIntf(Plix::IntfId("Ethernet2")));
  w.slice();
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "a r3"})) << "route 2 is not matched yet";
  w.recorder.cost = 0;
  w.am.loop().advance(1.0);
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "a r3", "a r2", "a r3"}));
  EXPECT_EQ(w.count(w.addr + " doReview, Starting review"), 2);
}

TEST(VifMrouteSyncSmTest, WithoutTablesInterfacesWaitForTheNextChange) {
  World w({});
  w.start();
  w.vif("Ethernet1", 3);
  w.am.loop().advance(1.0);
  EXPECT_EQ(w.count("No mfibs present in halm dir, nothing to do."), 1);
  EXPECT_TRUE(w.sm->insertChangeSet()->changedIntf(Plix::IntfId("Ethernet1")));
  w.routeIs({"a", 1, "Ethernet1", {}});
  w.routeIs({"a", 2, "Ethernet2", {}});
  w.am.loop().advance(1.0);
  EXPECT_TRUE(w.recorder.requests.empty()) << "a table alone asks for no walk";
  w.vif("Ethernet2", 4);
  w.am.loop().advance(1.0);
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "a r2"}));
}

TEST(VifMrouteSyncSmTest, AWalkKeepsItsTableOrderWhateverChangesBetweenSlices) {
  // One request per slice; every route uses the collected interface.
  World w({{"a", 1, "Ethernet1", {}}, {"a", 2, "Ethernet1", {}}, {"b", 3, "Ethernet1", {}},
           {"b", 4, "Ethernet1", {}}, {"c", 5, "Ethernet1", {}}, {"c", 6, "Ethernet1", {}}});
  w.tables["a"]->preferenceIs(10);
  w.tables["b"]->preferenceIs(20);
  w.tables["c"]->preferenceIs(30);
  w.recorder.cost = 5.0;
  w.start();
  w.vif("Ethernet1", 3);
  w.slice();
  w.slice();
  ASSERT_EQ(w.sm->halmMarker(), w.tables["b"].ptr());
  w.tables["c"]->preferenceIs(5);  // ranks before the table the walk stands in
  w.routeIs({"d", 7, "Ethernet1", {}});  // arrives mid-walk, ranking first
  w.tables["d"]->preferenceIs(1);
  for (int i = 0; i < 10 && w.sm->walkSuspended(); ++i) w.slice();
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "a r2", "b r3", "b r4", "c r5", "c r6", "d r7"}))
      << "the tables of the walk's start in their order then, the newcomer last, each once";
  EXPECT_EQ(w.count(w.addr + " doReview, Starting review"), 1);
  EXPECT_EQ(w.texts().back(), w.addr + " doReview, Finished review");
}

TEST(VifMrouteSyncSmTest, AWalkWhoseTableLeftGoesOnWithTheNextTable) {
  World w({{"a", 1, "Ethernet1", {}}, {"a", 2, "Ethernet1", {}}, {"b", 3, "Ethernet1", {}}, {"c", 4, "Ethernet1", {}}});
  w.recorder.cost = 5.0;
  w.start();
  w.vif("Ethernet1", 3);
  w.slice();
  ASSERT_EQ(w.sm->halmMarker(), w.tables["a"].ptr());
  w.coll->halmPtrDel(w.tables["a"].ptr());
  w.tables.erase("a");
  w.slice();
  auto const texts = w.texts();
  auto const resumed = std::find(texts.begin(), texts.end(),
                                 w.addr + " doReview, Resuming review from halm table a and route " + str(key(2)));
  ASSERT_GE(std::distance(resumed, texts.end()), 3);
  EXPECT_EQ(std::vector<std::string>(resumed + 1, resumed + 3),
            (std::vector<std::string>{"void Routing::KernelMfib::VifMrouteSyncSm::doReview()No Halm tables found",
                                      w.selecting("b", 3)}));
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "b r3"})) << "b at once, from its first route";
  w.coll->halmPtrDel(w.tables["c"].ptr());  // the last table of the walk leaves too
  w.slice();
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "b r3"}));
  EXPECT_EQ(w.count("void Routing::KernelMfib::VifMrouteSyncSm::doReview()No Halm tables found"), 2);
  EXPECT_EQ(w.texts().back(), w.addr + " doReview, Finished review") << "nothing left: the walk ends";
  EXPECT_EQ(w.sm->reviewChangeSet(), nullptr);
  EXPECT_FALSE(w.sm->walkSuspended());
}

TEST(VifMrouteSyncSmTest, ReviewTimerAndClock) {
  World w({{"a", 1, "Ethernet1", {}}});
  w.start();
  auto const timer = w.sm->reviewTimer();
  EXPECT_EQ(timer->reactor()->notifier(), w.am.clock());
  EXPECT_EQ(timer->fillInterval(), 1.0);
  EXPECT_EQ(timer->maxCredits(), 4u);
  EXPECT_EQ(timer->minDelay(), static_cast<float>(0.01));
  EXPECT_EQ(timer->maxDelay(), static_cast<float>(0.05));
  w.sm->maxDelayIs(0.5);
  w.sm->handleInitialized();
  EXPECT_EQ(w.sm->reviewTimer(), timer) << "re-paced in place";
  EXPECT_EQ(timer->maxDelay(), 0.5);

  // Pointing at another clock runs a slice then and there; pointing at none does not.
  auto other = Quib::make<Quib::Clock>("other", [] { return 0.0; });
  w.vif("Ethernet1", 3);
  w.sm->clockIs(nullptr);
  EXPECT_TRUE(w.recorder.requests.empty());
  w.sm->clockIs(other);
  EXPECT_EQ(w.recorder.requests, std::vector<std::string>{"a r1"});
  w.sm->clockIs(w.am.clock());
}

TEST(VifMrouteSyncSmTest, BinaryTraceProgressAndRoutesAtTwoLevels) {
  TestSupport::TempDir dir;
  Vorlak::initialize(dir.file("vif.vk").c_str(), nullptr, "vif test", 0, 16, 0, true, 512);
  std::uint32_t tableId = 0;
  {
    World w({{"a", 1, "Ethernet1", {}}, {"a", 2, "Ethernet1", {}}});
    tableId = w.tables["a"]->id();
    w.recorder.cost = 5.0;
    w.start();
    w.vif("Ethernet1", 3);
    w.slice();
    w.slice();
  }
  Vorlak::shutdown();
  Vorlak::Reader const reader(dir.file("vif.vk"));
  std::vector<std::string> lines;
  for (auto const& r : reader.records()) {
    lines.push_back(std::to_string(reader.messages()[r.messageId].level) + " " + reader.text(r));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"3 Starting review to update VIFs",
                                       "4 Route " + str(key(1)) + " needs to be re-programmed",
                                       "3 Suspending review to update VIFs",
                                       "3 Resuming review to update VIFs from halm table " +
                                           std::to_string(tableId) + " and route " + str(key(2)),
                                       "4 Route " + str(key(2)) + " needs to be re-programmed",
                                       "3 Finished review to update VIFs"}));
}

// Pointed at another route collection of its VRF in the middle of a walk, the machine walks
// the new collection next, matching the interfaces of the abandoned walk and those collected
// since.
TEST(VifMrouteSyncSmTest, AnotherRouteCollectionIsWalkedNext) {
  World w({{"a", 1, "Ethernet1", {}}, {"a", 2, "Ethernet1", {}}});
  w.recorder.cost = 1.0;
  w.start();
  w.sm->reviewQuantumIs(0.5);
  w.vif("Ethernet1", 3);
  w.slice();
  ASSERT_TRUE(w.sm->walkSuspended());
  auto other = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
  auto b = Quib::make<Table>("b");
  other->halmPtrIs(b);
  auto route = [&](int n, char const* iif, std::vector<Plix::IntfId> const& oifs) {
    b->routeIs(Halm::Multicast::Fib::Route(key(n), Plix::IntfId(iif), oifs, 0));
  };
  route(5, "Ethernet2", {Plix::IntfId("Ethernet1")});
  route(6, "Ethernet2", {});
  route(7, "Ethernet9", {});
  w.vif("Ethernet2", 4);
  w.sm->mfibHalmDirIs(other);
  EXPECT_EQ(w.sm->mfibHalmDir(), other);
  EXPECT_FALSE(w.sm->walkSuspended());
  EXPECT_EQ(w.sm->reviewChangeSet(), nullptr);
  w.recorder.cost = 0;
  w.am.loop().advance(1.0);
  EXPECT_EQ(w.recorder.requests, (std::vector<std::string>{"a r1", "b r5", "b r6"}));
  EXPECT_FALSE(w.sm->walkSuspended());
}

}  // namespace
