// The mirror audit on virtual time, for both families: an exact mirror costs no kernel call,
// each kind of difference is repaired with the right record and traced, a route change that
// arrives while an audit is suspended keeps its normal path, the audit off schedules
// nothing, and a backend that cannot read back turns it off with one trace.

#include "halm/MfibHalmColl.h"
#include "tests/support/AgentRecords.h"
#include "tests/kernelmfib/MachineFixture.h"

namespace Routing::KernelMfib {
namespace {

using Af = Plix::AddressFamily;

// Hands every call to the simulated kernel but cannot read it back.
class NoReadBack : public Kernel::Backend {
 public:
  explicit NoReadBack(Kernel::SimKernel& sim) : sim_(sim) {}
  int socketAt(int f, int t, int p, Plix::NamespaceName const& ns) override { return sim_.socketAt(f, t, p, ns); }
  int setsockopt(int fd, int l, int o, void const* v, socklen_t n) override { return sim_.setsockopt(fd, l, o, v, n); }
  int ioctl(int fd, unsigned long r, void* a) override { return sim_.ioctl(fd, r, a); }
  int close(int fd) override { return sim_.close(fd); }
  int writeProcSys(std::string const& p, std::string const& v, Plix::NamespaceName const& ns) override {
    return sim_.writeProcSys(p, v, ns);
  }
  std::vector<Kernel::NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override {
    return sim_.snapshot(ns);
  }

 private:
  Kernel::SimKernel& sim_;
};

class AuditTest : public MachineFixture, public testing::WithParamInterface<Af> {
 protected:
  AuditTest() {
    request("pim", "Ethernet1");
    request("pim", "Ethernet2");
    device("Ethernet1", 11);
    device("Ethernet2", 12);
    coll->halmPtrIs(table);
  }
  bool v6() const { return GetParam() == Af::ipv6; }
  int level() const { return v6() ? 41 : 0; }
  std::string sourceText(int i) const { return (v6() ? "2001:db8::" : "10.0.0.") + std::to_string(i); }
  char const* groupText() const { return v6() ? "ff3e::1" : "239.1.1.1"; }
  Plix::IpGenPrefix source(int i) const { return Plix::IpGenPrefix::parse(sourceText(i)); }
  Plix::IpGenPrefix group() const { return Plix::IpGenPrefix::parse(groupText()); }
  RouteKey key(int i) const { return RouteKey(source(i), group()); }
  void route(int i, char const* iif, char const* oif) {
    table->routeIs(Route(key(i), Plix::IntfId(iif), {Plix::IntfId(oif)}, 0));
  }
  // The kernel record of an MFC entry, as the agent builds it.
  KernelTest::Record mfc(int i, std::uint16_t parent, std::vector<std::uint16_t> const& oifs) const {
    auto const s = sourceText(i);
    return v6() ? KernelTest::mf6cctl(s.c_str(), groupText(), parent, oifs)
                : KernelTest::mfcctl(s.c_str(), groupText(), parent, oifs);
  }
  // A call on the machine's own socket, made behind its back.
  void behindItsBack(int option, std::vector<std::uint8_t> const& record) {
    ASSERT_EQ(sim.setsockopt(sm->sock(), level(), option, record.data(), static_cast<socklen_t>(record.size())), 0);
  }
  KernelTest::Record vifRecord(std::uint16_t index, std::uint32_t ifindex) const {
    // The agent registers by interface index: flag 0x08 on IPv4; IPv6 names the device.
    return v6() ? KernelTest::mif6ctl(index, 0, static_cast<std::uint16_t>(ifindex))
                : KernelTest::vifctl(index, 0x08, static_cast<std::int32_t>(ifindex));
  }
  // Three routes, the audit every 30 s, the full review done.
  void startMirrored() {
    for (int i = 1; i <= 3; ++i) route(i, "Ethernet1", "Ethernet2");
    config->audit.is(30);
    start(GetParam());
    sm->mfibHalmDirIs(coll);
    am.loop().advance(1);
    ASSERT_TRUE(sm->reviewedOnce());
  }
  std::vector<std::string> lines(int level, std::string const& containing = "") const {
    std::vector<std::string> out;
    for (auto const& l : sink.lines()) {
      if (l.level == level && l.text.find(containing) != std::string::npos) out.push_back(l.text);
    }
    return out;
  }
  std::string pretty(int i) const { return key(i).pretty(); }

  Quib::Ptr<Table> table = Quib::make<Table>("mroute");
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
};

TEST_P(AuditTest, ExactMirrorMakesNoKernelCall) {
  startMirrored();
  sim.callsDelAll();
  sink.clear();
  am.loop().advance(30);
  EXPECT_EQ(sm->auditTotals().runs, 1u);
  EXPECT_TRUE(sim.calls().empty()) << sim.calls().size() << " calls, the first " << sim.calls().front().kind;
  EXPECT_EQ(lines(4, "Audit"),
            (std::vector<std::string>{"Audit of 3 entries: added 0, replaced 0, removed 0, VIFs repaired 0"}));
  EXPECT_TRUE(lines(7, "Audit").empty());
  am.loop().advance(30);
  EXPECT_EQ(sm->auditTotals().runs, 2u) << "every 30 s";
  EXPECT_TRUE(sim.calls().empty());
}

TEST_P(AuditTest, OffMakesNoAuditAndNoCall) {
  for (int i = 1; i <= 3; ++i) route(i, "Ethernet1", "Ethernet2");
  start(GetParam());
  sm->mfibHalmDirIs(coll);
  am.loop().advance(1);
  behindItsBack(205, mfc(1, 1, {2}));  // a difference the audit would repair
  sim.callsDelAll();
  sink.clear();
  am.loop().advance(300);
  EXPECT_EQ(sm->auditTotals().runs, 0u);
  EXPECT_FALSE(sm->auditRunning());
  EXPECT_TRUE(sim.calls().empty());
  EXPECT_TRUE(lines(4, "Audit").empty());
}

TEST_P(AuditTest, RepairsEachDifferenceOnceAndThenFindsAMirror) {
  startMirrored();
  behindItsBack(204, mfc(1, 1, {1}));   // key 1 forwards to the wrong VIF
  behindItsBack(205, mfc(2, 1, {2}));   // key 2 is gone
  behindItsBack(204, mfc(9, 2, {1}));   // key 9 is held by no table
  behindItsBack(202, vifRecord(7, 12));  // VIF 7 is held by no interface
  sim.callsDelAll();
  sink.clear();
  am.loop().advance(30);

  auto const made = calls({CallKind::addMfc, CallKind::delMfc, CallKind::addVif, CallKind::delVif});
  ASSERT_EQ(made.size(), 4u);
  EXPECT_EQ(made[0].kind, CallKind::delVif);
  EXPECT_EQ(made[0].bytes[0], 7);
  EXPECT_EQ(made[1].kind, CallKind::addMfc);
  EXPECT_EQ(made[1].bytes, mfc(1, 1, {2}));
  EXPECT_EQ(made[2].kind, CallKind::addMfc);
  EXPECT_EQ(made[2].bytes, mfc(2, 1, {2}));
  EXPECT_EQ(made[3].kind, CallKind::delMfc);
  EXPECT_EQ(made[3].bytes, mfc(9, 0xffff, {}));
  EXPECT_EQ(lines(7, "Audit"), (std::vector<std::string>{
                                   "Audit: kernel VIF 7 on ifindex 12 is held by no interface; deleting it",
                                   "Audit: " + pretty(1) + " differs: kernel iif=1 oifs=1, tables iif=1 oifs=2",
                                   "Audit: " + pretty(2) + " is missing from the kernel",
                                   "Audit: " + pretty(9) + " (iif=2 oifs=1) is held by no table; deleting it",
                               }));
  EXPECT_EQ(lines(4, "Audit"),
            (std::vector<std::string>{"Audit of 3 entries: added 1, replaced 1, removed 1, VIFs repaired 1"}));
  auto const& totals = sm->auditTotals();
  EXPECT_EQ(std::vector<std::uint64_t>({totals.runs, totals.added, totals.replaced, totals.removed, totals.vifs}),
            std::vector<std::uint64_t>({1, 1, 1, 1, 1}));

  sim.callsDelAll();
  am.loop().advance(30);
  EXPECT_TRUE(sim.calls().empty()) << "the second audit finds the mirror the first one made";
  EXPECT_EQ(sm->auditTotals().runs, 2u);
}

TEST_P(AuditTest, RegistersAgainAVifOnAnotherDeviceAndProgramsItsRoutesAgain) {
  startMirrored();
  behindItsBack(203, v6() ? std::vector<std::uint8_t>{2, 0} : vifRecord(2, 0));
  behindItsBack(202, vifRecord(2, 11));  // Ethernet2's index now on Ethernet1's device
  sim.callsDelAll();
  sink.clear();
  am.loop().advance(30);
  auto const made = calls({CallKind::addMfc, CallKind::delVif, CallKind::addVif});
  ASSERT_EQ(made.size(), 5u);
  EXPECT_EQ(made[0].kind, CallKind::delVif);
  EXPECT_EQ(made[1].kind, CallKind::addVif);
  EXPECT_EQ(made[1].bytes, vifRecord(2, 12));
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(made[1 + i].bytes, mfc(i, 1, {2})) << "route " << i << " uses VIF 2";
  EXPECT_EQ(lines(7, "Audit").front(),
            "Audit: VIF 2 of Ethernet2 is on ifindex 11 instead of 12; registering it again");
  EXPECT_EQ(sm->auditTotals().vifs, 1u);
  EXPECT_EQ(sm->auditTotals().replaced, 3u);
}

TEST_P(AuditTest, RouteChangeDuringASuspendedAuditKeepsItsNormalPath) {
  startMirrored();
  for (int i = 4; i <= 9; ++i) route(i, "Ethernet1", "Ethernet2");
  am.loop().advance(1);
  for (int i = 1; i <= 9; ++i) behindItsBack(205, mfc(i, 1, {2}));
  sim.callHookIs([this] { am.loop().addTime(0.03); });  // a slice repairs four keys
  sim.callsDelAll();
  am.loop().advance(28);
  ASSERT_TRUE(sm->auditRunning()) << "suspended after its first slice";
  route(9, "Ethernet2", "Ethernet1");  // the audit read key 9 as missing; the tables changed since
  am.loop().advance(10);
  ASSERT_FALSE(sm->auditRunning());
  std::vector<std::vector<std::uint8_t>> nine;
  for (auto const& c : calls({CallKind::addMfc})) {
    if (c.bytes == mfc(9, 1, {2}) || c.bytes == mfc(9, 2, {1})) nine.push_back(c.bytes);
  }
  EXPECT_EQ(nine, (std::vector<std::vector<std::uint8_t>>{mfc(9, 2, {1})})) << "programmed once, as the change says";
  EXPECT_EQ(sm->auditTotals().added, 8u);
  EXPECT_GT(sm->auditTotals().slices, 1u);
}

TEST_P(AuditTest, BackendThatCannotReadBackTurnsTheAuditOffWithOneTrace) {
  NoReadBack backend(sim);
  Kernel::Backend::Use use(backend);
  startMirrored();
  config->audit.is(60);
  am.loop().advance(200);
  EXPECT_EQ(lines(4, "Audit"),
            (std::vector<std::string>{"Audit is off: the kernel backend cannot read the kernel back"}));
  EXPECT_EQ(sm->auditTotals().runs, 0u);
}

TEST_P(AuditTest, TurnedOffMidwayDropsTheAuditUnderWay) {
  startMirrored();
  for (int i = 1; i <= 3; ++i) behindItsBack(205, mfc(i, 1, {2}));
  sim.callHookIs([this] { am.loop().addTime(0.05); });  // a slice repairs two keys
  am.loop().advance(29);
  ASSERT_TRUE(sm->auditRunning());
  config->audit.is(0);
  EXPECT_FALSE(sm->auditRunning());
  sim.callsDelAll();
  am.loop().advance(100);
  EXPECT_TRUE(sim.calls().empty());
  EXPECT_EQ(sm->auditTotals().runs, 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, AuditTest, testing::Values(Af::ipv4, Af::ipv6),
                         [](auto const& info) { return info.param == Af::ipv6 ? "v6" : "v4"; });

}  // namespace
}  // namespace Routing::KernelMfib
