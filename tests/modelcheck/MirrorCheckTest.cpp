// The model check as a whole: the campaign the test command runs, the generator's
// repeatability, the shrinker, and a defined exception named with its evidence.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "tools/modelcheck/Campaign.h"
#include "tools/modelcheck/Generator.h"
#include "tools/modelcheck/MirrorCheck.h"
#include "tools/modelcheck/Shrinker.h"

namespace {

using namespace ModelCheck;

// 2 000 sequences, each with the audit off and, where the language has it, on.
TEST(ModelCheckCampaign, TwoThousandSequencesEndInTheMirror) {
  std::ostringstream out;
  auto const result = Campaign::run({.seed = 1, .count = 2000}, out);
  Campaign::summary(result, out);
  EXPECT_EQ(result.failures, 0u) << out.str();
  EXPECT_GE(result.sequences, 2000u);
  EXPECT_GT(result.entries, 2000u) << "the sequences reach the kernel";
  // The defined cases all occur, so that their naming is held to the campaign too.
  for (char const* name : {"failed call", "before open", "missing VIF", "VIF removed", "removed table", "start failed",
                           "failed write", "shared namespace"}) {
    EXPECT_GT(result.exceptions.count(name), 0u) << name << "\n" << out.str();
  }
  std::cout << out.str();
}

TEST(ModelCheckGenerator, SameSeedSameScript) {
  auto const a = Generator(7, Plix::AddressFamily::ipv4).script(60);
  EXPECT_EQ(a, Generator(7, Plix::AddressFamily::ipv4).script(60));
  EXPECT_NE(a, Generator(8, Plix::AddressFamily::ipv4).script(60));
  EXPECT_GE(a.size(), 60u);
}

TEST(ModelCheckShrinker, KeepsOnlyWhatTheFailureNeeds) {
  std::vector<std::string> script;
  for (int i = 0; i < 40; ++i) script.push_back("line" + std::to_string(i));
  auto const fails = [](std::vector<std::string> const& s) {
    return std::count(s.begin(), s.end(), "line7") && std::count(s.begin(), s.end(), "line31");
  };
  EXPECT_EQ(Shrinker::shrink(script, fails), (std::vector<std::string>{"line7", "line31"}));
}

TEST(ModelCheckMirror, AFailedAddIsNamedWithItsErrno) {
  std::vector<std::string> const script{"link default eth1 11", "intf Ethernet1 eth1", "config default",
                                        "table default t1",     "fault default add-mfc ENOBUFS",
                                        "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1"};
  auto const outcome = MirrorCheck::run(script, {});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  ASSERT_EQ(outcome.findings.size(), 1u);
  EXPECT_EQ(outcome.findings[0].text, "namespace default: MFC 10.0.0.1,239.1.1.1 should be iif=65535 oifs=-, kernel has none");
  EXPECT_EQ(outcome.findings[0].exception,
            "failed call: the last add-mfc of the key failed with ENOBUFS and nothing asked for the key again");
  EXPECT_FALSE(outcome.failed());
}

TEST(ModelCheckMirror, WithTheAuditOnTheFailedAddIsRepairedAndNothingIsExcused) {
  if (!MirrorCheck::auditSupported(Plix::AddressFamily::ipv4)) GTEST_SKIP() << "no audit in this build";
  std::vector<std::string> const script{"link default eth1 11", "intf Ethernet1 eth1", "config default",
                                        "table default t1",     "fault default add-mfc ENOBUFS",
                                        "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1"};
  auto const outcome = MirrorCheck::run(script, {.audit = true});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  EXPECT_TRUE(outcome.findings.empty()) << outcome.findings[0].text;
  EXPECT_EQ(outcome.entries, 1u);
  EXPECT_GE(outcome.settle.size(), 2u) << "two audit periods of quiet";
}

// The namespace's kernel routes for the socket that started first; the other VRF is named.
TEST(ModelCheckMirror, TwoVrfsInOneNamespaceMirrorTheOneWhoseSocketRoutes) {
  std::vector<std::string> const script{
      "netns ns1",        "link ns1 eth1 11",  "intf Ethernet1 eth1", "vrf blue netns ns1",
      "vrf red netns ns1", "config blue",      "table blue t1",       "route blue t1 10.0.0.1 239.1.1.1",
      "advance 1",        "config red",        "table red t1",        "route red t1 10.0.0.2 239.1.1.1",
      "request pim red Ethernet1"};
  auto const outcome = MirrorCheck::run(script, {});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  EXPECT_TRUE(outcome.shared);
  EXPECT_FALSE(outcome.failed());
  EXPECT_EQ(outcome.entries, 1u) << "blue's entry, held to the mirror";
  std::vector<std::string> texts;
  for (auto const& f : outcome.findings) {
    texts.push_back(f.text);
    EXPECT_EQ(f.exception,
              "shared namespace: VRF red's start failed with EADDRINUSE because VRF blue's socket holds the "
              "namespace's multicast routing; a namespace's kernel mirrors one VRF");
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "VRF red: Ethernet1 holds VIF 1 and its device is present, but it is not registered",
                       "VRF red's tables are not mirrored in ns1"}));
}

// Without a configuration the default VRF's machine stays; a new one reaches it whole.
TEST(ModelCheckMirror, TheDefaultMachineWithoutAConfigurationStaysInTheMirror) {
  std::vector<std::string> const script{"link default eth1 11", "intf Ethernet1 eth1", "config default unresolved-entries 7",
                                        "table default t1", "request pim default Ethernet1", "advance 1",
                                        "no config default", "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1",
                                        "config default max 3"};
  auto const outcome = MirrorCheck::run(script, {});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  EXPECT_TRUE(outcome.findings.empty()) << outcome.findings[0].text;
  EXPECT_EQ(outcome.entries, 1u);
}

// The one index is held back by a refused delete while two interfaces join; once the delete
// is done it goes to the waiting interface that allocation meets first, not to the one that
// joined first.
TEST(ModelCheckMirror, AnIndexHeldBackGoesToTheWaitingInterfacesInAllocationOrder) {
  std::vector<std::string> const script{"link default eth2 12",          "intf Ethernet2 eth2",
                                        "config default max 2",          "fault default del-vif EACCES",
                                        "request msdp default Ethernet2", "advance 12",
                                        "no request msdp",               "request igmp default Ethernet3",
                                        "request igmp default Ethernet1"};
  auto const outcome = MirrorCheck::run(script, {});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  EXPECT_TRUE(outcome.findings.empty()) << outcome.findings[0].text;
}

// Cases whose evidence lies in whose calls they were: each script leaves one kind of finding,
// named by the case given.
struct Named {
  char const* what;
  std::vector<std::string> script;
  char const* exception;  // the prefix every finding's case has
};

class ModelCheckNamed : public testing::TestWithParam<Named> {};

TEST_P(ModelCheckNamed, EveryFindingIsNamedByItsCase) {
  auto const outcome = MirrorCheck::run(GetParam().script, {.af = Plix::AddressFamily::ipv6});
  ASSERT_TRUE(outcome.valid) << outcome.refusal;
  ASSERT_FALSE(outcome.findings.empty()) << GetParam().what;
  for (auto const& f : outcome.findings) {
    EXPECT_TRUE(f.exception.starts_with(GetParam().exception)) << GetParam().what << ": " << f.text << ": " << f.exception;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModelCheckNamed,
    testing::Values(
        // The other VRF's socket opened and closed in the namespace meanwhile: red's requests
        // still went to its own failed descriptor.
        Named{"requests before red's own socket opened",
              {"vrf red netns ns2", "config red max 0", "table red t1 preference 10", "vrf blue netns ns2", "advance 2.5",
               "route red t1 2001:db8::1 ff0e::2 iif Ethernet2 oif Ethernet2,Ethernet1 oif-register", "netns ns2",
               "config blue max 2", "vrf blue"},
              "before open: "},
        // The delete of Ethernet2's VIF is refused, yet its registration is withdrawn.
        Named{"a registration withdrawn with its delete refused",
              {"link default eth2 12", "intf Ethernet2 eth2", "config default max 2", "table default t2",
               "request pim default Ethernet2", "route default t2 2001:db8::3 ff0e::2 oif Null0,Ethernet2,Ethernet1",
               "intf Ethernet4 eth2", "advance 0.05", "fault default del-vif EACCES count 2", "no request pim",
               "request msdp default Ethernet4"},
              "VIF removed: "},
        // Without a configuration the default machine holds the collection that went: a route
        // of the new one does not reach it, so the removed table still explains the entry.
        Named{"a route change in a collection the machine does not hold",
              {"config default max 4", "table default t3",
               "route default t3 2001:db8::3 ff0e::1 iif Ethernet4 oif Ethernet3 oif-register", "advance 0.3",
               "no config default", "no table default t3", "table default t1",
               "route default t1 2001:db8::3 ff0e::1 iif Ethernet1 oif Register0,Ethernet1,Ethernet3"},
              "removed table: "}));

TEST(ModelCheckMirror, AnExactMirrorHasNoFinding) {
  std::vector<std::string> const script{"link default eth1 11", "link default eth2 12", "intf Ethernet1 eth1",
                                        "intf Ethernet2 eth2",  "config default",       "request pim default Ethernet1",
                                        "request pim default Ethernet2", "table default t1",
                                        "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1 oif Ethernet2 oif-register"};
  auto const outcome = MirrorCheck::run(script, {});
  EXPECT_TRUE(outcome.findings.empty()) << outcome.findings[0].text;
  EXPECT_EQ(outcome.entries, 1u);
  EXPECT_EQ(outcome.vifs, 3u) << "the Register VIF and two interfaces";
}

TEST(ModelCheckMirror, ARefusedStatementMakesTheRunInvalid) {
  auto const outcome = MirrorCheck::run({"no table default t1"}, {});
  EXPECT_FALSE(outcome.valid);
  EXPECT_FALSE(outcome.failed());
}

}  // namespace
