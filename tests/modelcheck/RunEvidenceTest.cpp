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
using KernelTest::mfcctl;

constexpr int start = 210;
constexpr int addMfc = 204;

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

  int open(char const* ns) {
    int const fd = kernel.socketAt(AF_INET, SOCK_RAW, 255, Plix::NamespaceName(ns));
    int one = 1;
    if (fd >= 0) kernel.setsockopt(fd, 0, start, &one, sizeof one);
    return fd;
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
  EXPECT_EQ(evidence.namespaceCase("a"),
            "start failed: starting multicast routing failed with EADDRINUSE; the socket stays open without it and "
            "nothing starts it again");
  EXPECT_EQ(evidence.namespaceCase("b"), "");
  open("a");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.namespaceCase("a"), "");
}

TEST_F(RunEvidenceTest, ARemovedNamespaceCountsUntilASocketOpensInItsSuccessor) {
  open("a");
  evidence.starting();
  evidence.namespaceRemoving("a");
  kernel.netnsDel(Plix::NamespaceName("a"));
  kernel.netnsIs(Plix::NamespaceName("a"));
  evidence.settled({}, {});
  EXPECT_TRUE(evidence.namespaceCase("a").starts_with("namespace removed: ")) << evidence.namespaceCase("a");
  open("a");
  evidence.settled({}, {});
  EXPECT_EQ(evidence.namespaceCase("a"), "");
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

TEST_F(RunEvidenceTest, AStatusWithoutMachineIsGrantedOnlyAfterARestartThatLeftIt) {
  EXPECT_EQ(evidence.statusCase("red"), "");
  evidence.restarting({"red", "blue"});
  evidence.settled({"blue"}, {});
  EXPECT_TRUE(evidence.statusCase("red").starts_with("restart: ")) << evidence.statusCase("red");
  EXPECT_EQ(evidence.statusCase("blue"), "") << "blue has its machine again";
}

}  // namespace
