// The defined cases are granted only on the evidence that names them: the call log of the
// namespace asked about, in the order the calls came.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "kernel/SimKernel.h"
#include "tests/support/AgentRecords.h"
#include "tools/modelcheck/RunEvidence.h"

namespace {

using ModelCheck::RunEvidence;
using Kernel::CallKind;
using KernelTest::delVif4;
using KernelTest::mfcctl;
using KernelTest::vifctl;

constexpr int start = 210;
constexpr int addVif = 202;
constexpr int delVif = 203;
constexpr int addMfc = 204;
constexpr char const* entriesPath = "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit";

RunEvidence::Key key() {
  RunEvidence::Key k;
  inet_pton(AF_INET, "10.0.0.1", k.source.data());
  inet_pton(AF_INET, "239.1.1.1", k.group.data());
  k.sourceLen = k.groupLen = 32;
  return k;
}

class RunEvidenceTest : public ::testing::Test {
 protected:
  RunEvidenceTest() {
    kernel.recordingIs(true);
    kernel.netnsIs(Plix::NamespaceName("a"));
    kernel.netnsIs(Plix::NamespaceName("b"));
  }

  // Opens and starts a socket as the VRF's machine would.
  int open(char const* ns, char const* vrf = "default") {
    evidence.callerIs(std::string("vrf=") + vrf);
    int const fd = kernel.socketAt(AF_INET, SOCK_RAW, 255, Plix::NamespaceName(ns));
    int one = 1;
    evidence.callerIs(std::string("vrf=") + vrf);
    if (fd >= 0) kernel.setsockopt(fd, 0, start, &one, sizeof one);
    return fd;
  }
  void request(int fd, int option, std::vector<std::uint8_t> const& record) {
    kernel.setsockopt(fd, 0, option, record.data(), static_cast<socklen_t>(record.size()));
  }
  void add(int fd) {
    auto const record = mfcctl("10.0.0.1", "239.1.1.1", 0xffff, {});
    kernel.setsockopt(fd, 0, addMfc, record.data(), static_cast<socklen_t>(record.size()));
  }
  std::string missingEntry(char const* ns) {
    evidence.settled({}, {});
    RunEvidence::Entry const expected{};
    return evidence.mfcCase("default", ns, key(), &expected, nullptr, {});
  }

  Kernel::SimKernel kernel;
  RunEvidence evidence{kernel, Plix::AddressFamily::ipv4};
};

TEST_F(RunEvidenceTest, AFailedAddIsGrantedInItsOwnNamespaceOnly) {
  int const a = open("a");
  open("b");
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::addMfc, ENOBUFS);
  add(a);
  EXPECT_EQ(missingEntry("a"), "failed call: the last add-mfc of the key failed with ENOBUFS and nothing asked for the key again");
  EXPECT_EQ(missingEntry("b"), "") << "b's kernel was never asked for the key";
}

TEST_F(RunEvidenceTest, AFailedAddThatASocketCloseFollowsIsNoLongerTheReason) {
  int const a = open("a");
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::addMfc, ENOBUFS);
  add(a);
  kernel.close(a);
  EXPECT_EQ(missingEntry("a"), "");
}

TEST_F(RunEvidenceTest, ARequestToAFailedDescriptorCountsOnlyWhereTheOpenFailed) {
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::socket, EMFILE);
  int const a = open("a");
  ASSERT_LT(a, 0);
  open("b");
  add(a);
  EXPECT_TRUE(missingEntry("a").starts_with("before open: the last add-mfc of the key went to the descriptor of a socket"))
      << missingEntry("a");
  EXPECT_EQ(missingEntry("b"), "") << "b's socket is open: the request was not its";
  // Once a's socket opens, a request to a failed descriptor is no longer a's, and a's own
  // request leaves the entry in the kernel.
  int const opened = open("a");
  add(-1);
  EXPECT_TRUE(missingEntry("a").starts_with("before open: ")) << "the last of a's requests still went nowhere";
  add(opened);
  EXPECT_EQ(missingEntry("a"), "");
}

TEST_F(RunEvidenceTest, AFailedStartCountsUntilTheNamespaceGetsANewSocket) {
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::start, EADDRINUSE);
  open("a");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.machineCase("default", "a"),
            "start failed: starting multicast routing failed with EADDRINUSE; the socket stays open without it and "
            "nothing starts it again");
  EXPECT_EQ(evidence.machineCase("default", "b"), "");
  open("a");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.machineCase("default", "a"), "");
}

TEST_F(RunEvidenceTest, ARemovedNamespaceCountsUntilASocketOpensInItsSuccessor) {
  open("a");
  evidence.starting();
  evidence.namespaceRemoving("a");
  kernel.netnsDel(Plix::NamespaceName("a"));
  kernel.netnsIs(Plix::NamespaceName("a"));
  evidence.settled({}, {});
  EXPECT_TRUE(evidence.machineCase("default", "a").starts_with("namespace removed: ")) << evidence.machineCase("default", "a");
  open("a");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.machineCase("default", "a"), "");
}

TEST_F(RunEvidenceTest, ARemovedTableExplainsOnlyKeysNotProgrammedSince) {
  int const a = open("a");
  evidence.starting();
  evidence.tableRemoving("default", {key()});
  EXPECT_TRUE(missingEntry("a").starts_with("removed table: ")) << missingEntry("a");
  add(a);  // programmed after the table went: no longer the table's doing
  evidence.settled({}, {});
  RunEvidence::Entry const held{};
  EXPECT_EQ(evidence.mfcCase("default", "a", key(), nullptr, &held, {}), "");
  evidence.routeChanging("default", key());
  EXPECT_EQ(missingEntry("a"), "");
}

TEST_F(RunEvidenceTest, ASharedNamespaceExcusesOnlyTheVrfWhoseStartWasRefused) {
  int const blue = open("a", "blue");
  open("a", "red");  // refused: blue's socket routes in a
  evidence.settled({}, {});
  EXPECT_EQ(evidence.sharedCase("red", "a"),
            "shared namespace: VRF red's start failed with EADDRINUSE because VRF blue's socket holds the namespace's "
            "multicast routing; a namespace's kernel mirrors one VRF");
  EXPECT_EQ(evidence.sharedCase("blue", "a"), "");
  EXPECT_EQ(evidence.machineCase("blue", "a"), "") << "blue's start did not fail";
  EXPECT_EQ(evidence.machineCase("red", "a"), "") << "blue routes in a: red's refusal is the shared case";
  kernel.close(blue);
  evidence.settled({}, {});
  EXPECT_EQ(evidence.sharedCase("red", "a"), "") << "nobody routes in a now";
  EXPECT_TRUE(evidence.machineCase("red", "a").starts_with("start failed: ")) << evidence.machineCase("red", "a");
  EXPECT_EQ(evidence.machineCase("blue", "a"), "");
}

// A refused start counts for its own VRF even when another VRF's socket started after it.
TEST_F(RunEvidenceTest, AFailedStartIsTheMachinesOwnWhateverAnotherMachineDid) {
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::start, EADDRINUSE);
  open("a", "blue");
  int const red = open("a", "red");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.machineCase("blue", "a"), "") << "red routes in a now";
  EXPECT_FALSE(evidence.sharedCase("blue", "a").empty());
  kernel.close(red);
  evidence.settled({}, {});
  EXPECT_TRUE(evidence.machineCase("blue", "a").starts_with("start failed: ")) << evidence.machineCase("blue", "a");
  EXPECT_EQ(evidence.machineCase("red", "a"), "");
}

TEST_F(RunEvidenceTest, AnIndexIsHeldBackOnlyByARefusedDeleteOfItsOwnVif) {
  kernel.linkIs(Plix::NamespaceName("a"), "eth1", 11);
  kernel.linkIs(Plix::NamespaceName("a"), "eth2", 12);
  int const a = open("a");
  request(a, addVif, vifctl(1, 0x08, 11));
  request(a, addVif, vifctl(2, 0x08, 12));
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::delVif, EACCES);
  request(a, delVif, delVif4(1));
  request(a, delVif, delVif4(2));
  evidence.settled({}, {});
  EXPECT_EQ(evidence.heldBackCase("default", "a", {1}),
            "delete pending: every index the bound leaves free waits for a refused delete of its VIF (EACCES) to be "
            "retried, and the interface waits with it");
  EXPECT_EQ(evidence.heldBackCase("default", "a", {1, 2}), "") << "index 2's delete was done: it was free";
  EXPECT_EQ(evidence.heldBackCase("default", "a", {1, 3}), "") << "index 3 was never used: it was free";
  EXPECT_EQ(evidence.heldBackCase("default", "b", {1}), "");
  request(a, delVif, delVif4(3));  // the kernel has no VIF 3: the agent counts the delete done
  evidence.settled({}, {});
  EXPECT_EQ(evidence.heldBackCase("default", "a", {3}), "");
}

TEST_F(RunEvidenceTest, AnIndexIsHeldBackFromItsRefusedDeleteUntilTheDeleteIsDone) {
  kernel.linkIs(Plix::NamespaceName("a"), "eth1", 11);
  int const a = open("a");
  request(a, addVif, vifctl(1, 0x08, 11));
  std::size_t const before = evidence.mark();
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::delVif, EACCES);
  request(a, delVif, delVif4(1));
  std::size_t const refused = evidence.mark();
  request(a, delVif, delVif4(1));
  evidence.settled({}, {});
  EXPECT_FALSE(evidence.heldBackAt("a", before));
  EXPECT_TRUE(evidence.heldBackAt("a", refused));
  EXPECT_FALSE(evidence.heldBackAt("b", refused));
  EXPECT_FALSE(evidence.heldBackAt("a", evidence.mark())) << "the retried delete was done";
}

TEST_F(RunEvidenceTest, ALimitKeptByARefusedWriteIsTheOneWrittenBefore) {
  kernel.writeProcSys(entriesPath, "5", Plix::NamespaceName("a"));
  kernel.faultIs(Plix::NamespaceName("a"), CallKind::procWrite, EACCES);
  kernel.writeProcSys(entriesPath, "7", Plix::NamespaceName("a"));
  evidence.settled({}, {});
  EXPECT_TRUE(evidence.limitCase("a", entriesPath, 5).starts_with("failed write: the last write of " +
                                                                  std::string(entriesPath) + " failed with EACCES"))
      << evidence.limitCase("a", entriesPath, 5);
  EXPECT_EQ(evidence.limitCase("a", entriesPath, 0), "") << "0 is not what was written before";
  EXPECT_EQ(evidence.limitCase("b", entriesPath, 5), "") << "nothing was refused in b";
}

TEST_F(RunEvidenceTest, AStatusWithoutMachineIsGrantedOnlyAfterARestartThatLeftIt) {
  EXPECT_EQ(evidence.statusCase("red"), "");
  evidence.restarting({"red", "blue"});
  evidence.settled({"blue"}, {});
  EXPECT_TRUE(evidence.statusCase("red").starts_with("restart: ")) << evidence.statusCase("red");
  EXPECT_EQ(evidence.statusCase("blue"), "") << "blue has its machine again";
}

}  // namespace
