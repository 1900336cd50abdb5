// The route reviews on virtual time: a full review cut into slices resumes where it
// stopped without programming a key twice, a slice ending on the last route finishes,
// changes wait for the full review, a lost bookmark starts afresh, and single-key requests
// are served at once.

#include "halm/MfibHalmColl.h"
#include "tests/kernelmfib/MachineFixture.h"

namespace Routing::KernelMfib {
namespace {

class ReviewTest : public MachineFixture {
 protected:
  ReviewTest() {
    request("pim", "Ethernet1");
    device("Ethernet1", 11);
  }
  static RouteKey key(int i) {
    return RouteKey(Plix::IpGenPrefix::parse("10.0.0." + std::to_string(i)), Plix::IpGenPrefix::parse("239.1.1.1"));
  }
  void route(Table& t, int i) { t.routeIs(Route(key(i), Plix::IntfId("Ethernet1"), std::vector<Plix::IntfId>{}, 0)); }
  Quib::Ptr<Table> table(char const* name, std::uint32_t preference) {
    auto t = Quib::make<Table>(name);
    t->preferenceIs(preference);
    coll->halmPtrIs(t);
    return t;
  }
  // Every kernel call from now on costs `seconds` of virtual time.
  void callCost(double seconds) {
    sim.callHookIs([this, seconds] { am.loop().addTime(seconds); });
  }
  // The sources of the MFC adds so far, in order ("10.0.0.3" as 3).
  std::vector<int> added() const {
    std::vector<int> out;
    for (auto const& c : calls({CallKind::addMfc})) out.push_back(c.bytes[3]);
    return out;
  }
  // The parent VIF of each MFC add so far.
  std::vector<int> parents() const {
    std::vector<int> out;
    for (auto const& c : calls({CallKind::addMfc})) out.push_back(c.bytes[8] | c.bytes[9] << 8);
    return out;
  }
  // The tables of the keys the full review synced, in order.
  std::vector<std::string> walkedTables() const {
    std::vector<std::string> out;
    for (auto const& l : sink.lines()) {
      if (l.text == "Finished review of all routes") break;
      if (l.level == 7 && l.text.starts_with("Syncing ")) out.push_back(l.text.substr(l.text.rfind(' ') + 1));
    }
    return out;
  }
  std::vector<std::string> reviewTraces() const {
    std::vector<std::string> out;
    for (auto const& l : sink.lines()) {
      if (l.handle == "KernelMfibSm" && l.level == 4) out.push_back(l.text);
    }
    return out;
  }

  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
};

TEST_F(ReviewTest, FullReviewResumesWithoutProgrammingAKeyTwice) {
  auto best = table("best", 10), other = table("other", 20);
  for (int i = 1; i <= 6; ++i) route(*best, i);
  for (int i = 4; i <= 9; ++i) route(*other, i);  // 4 to 6 are in both: programmed once
  start();
  sm->mfibHalmDirIs(coll);
  callCost(0.03);  // a slice of 0.1 s programs four keys
  sink.clear();
  am.loop().advance(0);
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(sm->bookmark(), key(5));
  EXPECT_EQ(sm->halmBookmark(), best.ptr());
  EXPECT_FALSE(sm->reviewedOnce());
  for (int slice = 0; slice < 5 && !sm->reviewedOnce(); ++slice) am.loop().advance(0);
  EXPECT_TRUE(sm->reviewedOnce());
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(reviewTraces(), (std::vector<std::string>{
                                "Starting review of all routes",
                                "Suspending review at none, (10.0.0.4/32, 239.1.1.1/32)",
                                "Resuming review at best, (10.0.0.5/32, 239.1.1.1/32)",
                                // Visits of other's 4 to 6 send nothing and cost no time.
                                "Suspending review at best, (10.0.0.8/32, 239.1.1.1/32)",
                                "Resuming review at other, (10.0.0.9/32, 239.1.1.1/32)",
                                "Finished review of all routes",
                                "Starting/resuming of changed review",
                                "Review of changed routes finished",
                            }));
}

TEST_F(ReviewTest, QuantumEndingOnTheLastRouteFinishes) {
  auto t = table("mroute", 10);
  for (int i = 1; i <= 4; ++i) route(*t, i);
  start();
  sm->mfibHalmDirIs(coll);
  callCost(0.025);  // the fourth key reaches the deadline exactly
  am.loop().advance(0);
  EXPECT_TRUE(sm->reviewedOnce());
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_FALSE(sm->reviewTimer().reviewPending());
}

TEST_F(ReviewTest, ChangesWaitForTheFullReviewThenProgramAgain) {
  auto t = table("mroute", 10);
  for (int i = 1; i <= 8; ++i) route(*t, i);
  start();
  sm->mfibHalmDirIs(coll);
  callCost(0.03);
  am.loop().advance(0);
  t->routeIs(Route(key(2), Plix::IntfId("Ethernet1"), {Plix::IntfId("Ethernet1")}, 0));  // already programmed
  t->routeIs(Route(key(8), Plix::IntfId("Ethernet1"), {Plix::IntfId("Ethernet1")}, 0));  // not yet
  EXPECT_EQ(sm->changedRoute().size(), 2u);
  am.loop().advance(0);
  EXPECT_TRUE(sm->reviewedOnce());
  EXPECT_TRUE(sm->changedRoute().empty()) << "the changed review ran in the same callback";
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 2, 8}));
}

TEST_F(ReviewTest, LostBookmarkedTableStartsAFreshWalk) {
  auto a = table("a", 10), b = table("b", 20);
  for (int i = 1; i <= 3; ++i) route(*a, i);
  for (int i = 4; i <= 9; ++i) route(*b, i);
  start();
  sm->mfibHalmDirIs(coll);
  callCost(0.03);
  am.loop().advance(0);
  am.loop().advance(0);
  ASSERT_EQ(sm->halmBookmark(), b.ptr());
  coll->halmPtrDel(b.ptr());
  sink.clear();
  am.loop().advance(0);
  EXPECT_TRUE(sink.contains("mfibHalm at b does not exist."));
  EXPECT_EQ(sm->halmBookmark(), nullptr);
  EXPECT_FALSE(sm->bookmarkNotNull());
  EXPECT_FALSE(sm->reviewedOnce());
  route(*a, 10);  // the next kick starts from the first table
  am.loop().advance(0);
  EXPECT_TRUE(sink.contains("Starting review of all routes"));
}

TEST_F(ReviewTest, FullReviewKeepsItsTableOrderWhateverChangesBetweenSlices) {
  auto a = table("a", 10), b = table("b", 20), c = table("c", 30);
  for (int i = 1; i <= 3; ++i) route(*a, i);
  for (int i = 4; i <= 6; ++i) route(*b, i);
  for (int i = 7; i <= 9; ++i) route(*c, i);
  start();
  sm->mfibHalmDirIs(coll);
  callCost(0.03);
  sink.clear();
  am.loop().advance(0);
  ASSERT_EQ(sm->halmBookmark(), b.ptr());
  c->preferenceIs(5);  // ranks before the bookmarked table now
  auto d = table("d", 1);  // arrives mid-walk, ranking first
  route(*d, 10);
  for (int slice = 0; slice < 6 && !sm->reviewedOnce(); ++slice) am.loop().advance(0);
  ASSERT_TRUE(sm->reviewedOnce());
  EXPECT_EQ(walkedTables(), (std::vector<std::string>{"a", "a", "a", "b", "b", "b", "c", "c", "c", "d"}))
      << "the order of the walk's start, the newcomer last, every table once";
  EXPECT_EQ(sm->halmBookmark(), nullptr);
}

TEST_F(ReviewTest, PreferenceChangeReviewsEveryKeyOfTheTableFromItsBestTable) {
  request("pim", "Ethernet2");
  device("Ethernet2", 12);
  auto t1 = table("t1", 50), t2 = table("t2", 100);
  for (int i = 1; i <= 6; ++i) {
    route(*t1, i);
    t2->routeIs(Route(key(i), Plix::IntfId("Ethernet2"), std::vector<Plix::IntfId>{}, 0));
  }
  start();
  sm->mfibHalmDirIs(coll);
  am.loop().advance(0);
  ASSERT_TRUE(sm->reviewedOnce());
  ASSERT_EQ(parents(), std::vector<int>(6, 1));
  sim.callsDelAll();
  callCost(0.03);  // a slice of 0.1 s programs four keys
  sink.clear();

  t2->preferenceIs(10);
  EXPECT_EQ(sm->changedRoute().size(), 6u) << "every key of the table, through the changed set";
  EXPECT_TRUE(sm->changedRouteHas({t2.ptr(), key(6)}));
  EXPECT_TRUE(added().empty()) << "paced like any other change";
  am.loop().advance(0);
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4}));
  am.loop().advance(0);
  EXPECT_EQ(parents(), std::vector<int>(6, 2));
  EXPECT_EQ(reviewTraces(), (std::vector<std::string>{"Starting/resuming of changed review",
                                                      "Suspending review with 2 routes left",
                                                      "Starting/resuming of changed review",
                                                      "Review of changed routes finished"}));

  // Losing its place: the keys are reviewed from the table that holds the best route now.
  sim.callsDelAll();
  t2->preferenceIs(60);
  EXPECT_TRUE(sm->changedRouteHas({t1.ptr(), key(1)}));
  EXPECT_FALSE(sm->changedRouteHas({t2.ptr(), key(1)}));
  for (int slice = 0; slice < 3; ++slice) am.loop().advance(0);
  EXPECT_EQ(parents(), std::vector<int>(6, 1));
  EXPECT_TRUE(sink.contains("Preference of halm table t2 is now 60"));

  sim.callsDelAll();
  t1->preferenceIs(50);  // unchanged: nothing to hear
  EXPECT_TRUE(sm->changedRoute().empty());
}

TEST_F(ReviewTest, AKeyLeavingItsBestTableIsProgrammedFromTheNext) {
  request("pim", "Ethernet2");
  device("Ethernet2", 12);
  auto pim = table("pim", 10), fallback = table("static", 100);
  route(*pim, 1);
  fallback->routeIs(Route(key(1), Plix::IntfId("Ethernet2"), std::vector<Plix::IntfId>{}, 0));
  start();
  sm->mfibHalmDirIs(coll);
  am.loop().advance(0);
  ASSERT_EQ(parents(), std::vector<int>{1});
  sink.clear();
  pim->routeDel(key(1));
  am.loop().advance(0);
  EXPECT_EQ(parents(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(calls({CallKind::delMfc}).empty());
  EXPECT_TRUE(sink.contains("Route (10.0.0.1/32, 239.1.1.1/32) is deleted from halm table pim"));
  EXPECT_TRUE(sink.contains("Found alternate Route (10.0.0.1/32, 239.1.1.1/32) from halm table static"));
}

TEST_F(ReviewTest, SingleKeyRequestsAreServedAtOnce) {
  auto t = table("mroute", 10);
  route(*t, 1);
  route(*t, 2);
  keyToSync->halmKey.is(t.ptr());
  keyToSync->key.is(key(1));
  keyToSync->changeCount.is(254);
  start();
  sm->mfibHalmDirIs(coll);
  EXPECT_TRUE(added().empty()) << "a key already in the entity is no request";
  keyToSync->changeCountInc(1);
  EXPECT_EQ(added(), std::vector<int>{1});

  // The table and key written alone, or the count written with its own value: no request.
  keyToSync->halmKey.is(nullptr);
  keyToSync->halmKey.is(t.ptr());
  keyToSync->key.is(key(2));
  keyToSync->changeCount.is(255);
  EXPECT_EQ(added(), std::vector<int>{1});

  EXPECT_EQ(keyToSync->changeCountInc(1), 0);
  EXPECT_EQ(added(), (std::vector<int>{1, 2})) << "255 wraps to 0 and is a request, for the key written before";
  keyToSync->changeCountInc(1);
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 2})) << "two requests for a key, two programmings";

  // A request with the all-zero key is served as a (*,G) key: nothing is sent.
  sink.clear();
  keyToSync->key.is(RouteKey::invalidRouteKey());
  keyToSync->changeCountInc(1);
  EXPECT_EQ(added().size(), 3u);
  EXPECT_TRUE(sink.containsSubstring("Skipping *,G route "));
}

TEST_F(ReviewTest, ChangedReviewContinuesOverSeveralSlices) {
  auto t = table("mroute", 10);
  start();
  sm->mfibHalmDirIs(coll);
  am.loop().advance(0);
  ASSERT_TRUE(sm->reviewedOnce());
  callCost(0.03);  // a slice of 0.1 s programs four keys
  sink.clear();
  for (int i = 1; i <= 10; ++i) route(*t, i);
  for (int slice = 0; slice < 3; ++slice) am.loop().advance(0);  // no change in between
  EXPECT_EQ(added(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(reviewTraces(), (std::vector<std::string>{"Starting/resuming of changed review",
                                                      "Suspending review with 6 routes left",
                                                      "Starting/resuming of changed review",
                                                      "Suspending review with 2 routes left",
                                                      "Starting/resuming of changed review",
                                                      "Review of changed routes finished"}));
  EXPECT_FALSE(sm->reviewTimer().reviewPending());
}

TEST_F(ReviewTest, KeysNotedBetweenChangedSlicesTakeTheirPlaceInKeyOrder) {
  auto t = table("mroute", 10);
  start();
  sm->mfibHalmDirIs(coll);
  am.loop().advance(0);
  ASSERT_TRUE(sm->reviewedOnce());
  auto later = table("later", 20);  // made after, so its keys come after all of mroute's
  callCost(0.03);                   // a slice of 0.1 s programs four keys
  sink.clear();
  for (int i = 2; i <= 16; i += 2) route(*t, i);
  am.loop().advance(0);
  ASSERT_EQ(added(), (std::vector<int>{2, 4, 6, 8}));
  auto changed = [](int i) { return Route(key(i), Plix::IntfId("Ethernet1"), {Plix::IntfId("Ethernet1")}, 0); };
  route(*later, 3);        // another table: after every key of the first
  route(*t, 1);            // before all that is done and pending
  t->routeIs(changed(4));  // done already: again
  t->routeIs(changed(12)); // pending: once
  route(*t, 11);           // between pending keys
  EXPECT_EQ(sm->changedRoute().size(), 8u);
  for (int slice = 0; slice < 2; ++slice) am.loop().advance(0);
  EXPECT_EQ(added(), (std::vector<int>{2, 4, 6, 8, 1, 4, 10, 11, 12, 14, 16, 3}));
  EXPECT_EQ(reviewTraces(), (std::vector<std::string>{"Starting/resuming of changed review",
                                                      "Suspending review with 4 routes left",
                                                      "Starting/resuming of changed review",
                                                      "Suspending review with 4 routes left",
                                                      "Starting/resuming of changed review",
                                                      "Review of changed routes finished"}));
  EXPECT_TRUE(sm->changedRoute().empty());
}

// The changed review reads the per-key trace levels once per slice: with them on, each
// key it syncs is traced; with them off, none is, and the kernel gets the same adds.
TEST_F(ReviewTest, ChangedReviewTracesEachKeyOnlyWithThePerKeyLevels) {
  auto t = table("mroute", 10);
  start();
  sm->mfibHalmDirIs(coll);
  am.loop().advance(0);
  ASSERT_TRUE(sm->reviewedOnce());
  struct Case {
    char const* selection;
    int key;
    std::vector<std::string> syncing;
  };
  Case const cases[] = {
      {"KernelMfibSm/0-9", 2, {"Syncing (10.0.0.2/32, 239.1.1.1/32) from halm table mroute"}},
      {"KernelMfibSm/0-6", 3, {}},
      {"KernelMfibSm/7", 4, {"Syncing (10.0.0.4/32, 239.1.1.1/32) from halm table mroute"}},
  };
  std::vector<int> expectedAdds;
  for (auto const& c : cases) {
    Trace::SelectionScope const selection(c.selection);
    sink.clear();
    route(*t, c.key);
    am.loop().advance(0);
    expectedAdds.push_back(c.key);
    EXPECT_EQ(added(), expectedAdds) << c.selection;
    std::vector<std::string> syncing;
    int perKey = 0;
    for (auto const& l : sink.lines()) {
      if (l.handle != "KernelMfibSm" || l.level < 7) continue;
      ++perKey;
      if (l.level == 7 && l.text.starts_with("Syncing ")) syncing.push_back(l.text);
    }
    EXPECT_EQ(syncing, c.syncing) << c.selection;
    if (c.syncing.empty()) {
      EXPECT_EQ(perKey, 0) << c.selection;
    }
    EXPECT_TRUE(sm->changedRoute().empty()) << c.selection;
  }
}

}  // namespace
}  // namespace Routing::KernelMfib
