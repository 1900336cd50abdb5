// What the simulated kernel does with calls beyond applying them: it records them, charges
// them, fails them on request, and keeps the /proc/sys limits.

#include "KernelTestSupport.h"
#include "kernel/ErrnoName.h"
#include "zell/ProcSys.h"

namespace KernelTest {
namespace {

using Kernel::CallKind;
using ::testing::ElementsAre;

std::string const qlimit = "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit";
std::string const skbLimit = "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit";

class CallTest : public FamilyTest {
 protected:
  std::vector<CallKind> kinds() const {
    std::vector<CallKind> result;
    for (auto const& call : kernel.calls()) result.push_back(call.kind);
    return result;
  }
};

TEST_P(CallTest, RecordsEveryCallWithItsBytesInOrder) {
  int const fd = router();
  int one = 1;
  ASSERT_EQ(setInt(fd, 208), 0);
  ASSERT_EQ(Plix::ioctl(fd, 0x5421, &one), 0);
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addMfc(fd, 1, {}), 0);
  ASSERT_EQ(set(fd, 205, family().mfc(family().source, family().group, 65535, {})), 0);
  ASSERT_EQ(set(fd, 203, family().delVif(1)), 0);
  EXPECT_EQ(errorOf(set(fd, 203, family().delVif(1))), EADDRNOTAVAIL);
  ASSERT_EQ(setInt(fd, 201), 0);
  ASSERT_EQ(Plix::close(fd), 0);
  ASSERT_EQ(Zell::writeProcSysInNetNs(qlimit, "10", "red"), 0);

  EXPECT_THAT(kinds(),
              ElementsAre(CallKind::socket, CallKind::start, CallKind::addVif, CallKind::pim,
                          CallKind::nonblock, CallKind::addVif, CallKind::addMfc, CallKind::delMfc,
                          CallKind::delVif, CallKind::delVif, CallKind::done, CallKind::close,
                          CallKind::procWrite));
  auto const& calls = kernel.calls();
  EXPECT_EQ(calls[0].family, family().domain);
  EXPECT_EQ(calls[0].type, SOCK_RAW);
  EXPECT_EQ(calls[0].protocol, family().protocol);
  EXPECT_EQ(calls[0].result, fd);
  EXPECT_EQ(calls[1].level, family().level);
  EXPECT_EQ(calls[1].option, family().startOption);
  EXPECT_EQ(calls[1].bytes, (Record{1, 0, 0, 0}));
  EXPECT_EQ(calls[4].request, 0x5421u);
  EXPECT_EQ(calls[4].bytes, (Record{1, 0, 0, 0}));
  EXPECT_EQ(calls[5].bytes, family().vif(1, 7));
  EXPECT_EQ(calls[9].error, EADDRNOTAVAIL);
  EXPECT_EQ(calls[12].path, qlimit);
  EXPECT_EQ(calls[12].bytes, (Record{'1', '0'}));
  for (auto const& call : calls) EXPECT_EQ(call.ns, "red");
}

TEST_P(CallTest, FaultFailsTheNextCallsOfItsKindAndNamespaceApplyingNothing) {
  kernel.netnsIs("blue");
  kernel.linkIs("blue", "eth1", 7);
  int const fd = router();
  int const blueFd = router("blue");
  kernel.faultIs("red", CallKind::addVif, ENOBUFS, 2);
  kernel.faultIs("red", CallKind::addVif, ENODEV);

  auto const before = snapshot();
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), ENOBUFS);
  EXPECT_EQ(addMfc(fd, 1, {}), 0);     // other kinds pass
  EXPECT_EQ(addVif(blueFd, 1, 7), 0);  // other namespaces pass
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), ENOBUFS);
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), ENODEV);
  EXPECT_EQ(snapshot().vifs, before.vifs);
  EXPECT_EQ(kernel.calls().back().error, ENODEV);
  EXPECT_EQ(addVif(fd, 1, 7), 0);

  kernel.faultIs("red", CallKind::done, EPERM, 3);
  EXPECT_EQ(errorOf(setInt(fd, 201)), EPERM);
  EXPECT_TRUE(snapshot().mrtOn);
  kernel.faultDel("red");
  EXPECT_EQ(setInt(fd, 201), 0);
  EXPECT_FALSE(snapshot().mrtOn);

  kernel.faultIs("red", CallKind::socket, EMFILE);
  EXPECT_EQ(errorOf(open()), EMFILE);
  EXPECT_EQ(open(), blueFd + 1);  // the failed open took no descriptor

  EXPECT_THROW(kernel.faultIs("red", CallKind::socket, 0), std::invalid_argument);
  EXPECT_THROW(kernel.faultIs("red", CallKind::socket, ENOMEM, 0), std::invalid_argument);
  EXPECT_GE(open(), 0);
}

TEST_P(CallTest, HookChargesEveryCallAndRecordingMaySwitchOff) {
  int charged = 0;
  kernel.callHookIs([&] { ++charged; });
  kernel.recordingIs(false);
  int const fd = router();
  EXPECT_EQ(errorOf(addVif(fd, 1, 99)), ENODEV);
  EXPECT_EQ(Zell::writeProcSysInNetNs(skbLimit, "3", "red"), 0);
  EXPECT_EQ(Plix::close(fd), 0);
  EXPECT_EQ(charged, 6);
  EXPECT_TRUE(kernel.calls().empty());
  EXPECT_EQ(snapshot().unresolvedBuffers, 3u);
}

// With recording off the record of a call is never built; the answers must not change.
TEST_P(CallTest, SetsockoptAnswersAlikeRecordedOrNotAndRecordsWhatItWasGiven) {
  int const fd = router();
  int const idle = open();
  int const closed = open();  // the highest, so that no later socket takes its number
  ASSERT_EQ(Plix::close(closed), 0);
  Record const mfc = family().mfc(family().source, family().group, 65535, {});
  struct Row {
    char const* what;
    std::function<int()> call;
    int error;
    int fd;
    CallKind kind;
    char const* ns;
    Record bytes;
  };
  Row const rows[] = {
      {"an add", [&] { return set(fd, 204, mfc); }, 0, fd, CallKind::addMfc, "red", mfc},
      {"a closed descriptor", [&] { return set(closed, 204, mfc); }, EBADF, closed, CallKind::other, "", mfc},
      {"no value", [&] { return Plix::setsockopt(fd, family().level, 204, nullptr, 4); }, EFAULT, fd,
       CallKind::addMfc, "red", {}},
      {"a fault",
       [&] {
         kernel.faultIs("red", CallKind::addMfc, ENOBUFS);
         return set(fd, 204, mfc);
       },
       ENOBUFS, fd, CallKind::addMfc, "red", mfc},
      {"a socket that did not start routing", [&] { return set(idle, 204, mfc); }, EACCES, idle, CallKind::addMfc,
       "red", mfc},
  };
  for (bool const recording : {true, false}) {
    kernel.recordingIs(recording);
    for (auto const& row : rows) {
      SCOPED_TRACE(testing::Message() << row.what << (recording ? ", recorded" : ", not recorded"));
      kernel.callsDelAll();
      EXPECT_EQ(errorOf(row.call()), row.error);
      if (!recording) {
        EXPECT_TRUE(kernel.calls().empty());
        continue;
      }
      ASSERT_EQ(kernel.calls().size(), 1u);
      auto const& call = kernel.calls()[0];
      EXPECT_EQ(call.kind, row.kind);
      EXPECT_EQ(call.ns, row.ns);
      EXPECT_EQ(call.fd, row.fd);
      EXPECT_EQ(call.level, family().level);
      EXPECT_EQ(call.option, 204);
      EXPECT_EQ(call.bytes, row.bytes);
      EXPECT_EQ(call.result, row.error ? -1 : 0);
      EXPECT_EQ(call.error, row.error);
    }
  }
  EXPECT_EQ(snapshot().mfcs.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Families, CallTest, ::testing::Values(ipv4, ipv6), familyName);

TEST(SimKernelTest, ProcWritesStoreTheTwoLimitsAndRefuseTheRest) {
  Kernel::SimKernel kernel;
  Kernel::Backend::Use use(kernel);
  kernel.netnsIs("red");
  struct Row {
    std::string path;
    std::string value;
    char const* ns;
    int error;
    std::uint32_t entries;
    std::uint32_t buffers;
  };
  Row const rows[] = {
      {qlimit, "10", "red", 0, 10, 0},
      {skbLimit, "3", "red", 0, 10, 3},
      {qlimit, "4294967295", "red", 0, 4294967295u, 3},
      {skbLimit, "7\n", "red", 0, 4294967295u, 7},
      {qlimit, "4294967296", "red", EINVAL, 4294967295u, 7},
      {qlimit, "-1", "red", EINVAL, 4294967295u, 7},
      {qlimit, "", "red", EINVAL, 4294967295u, 7},
      {skbLimit, "12x", "red", EINVAL, 4294967295u, 7},
      {"/proc/sys/net/ipv4/ip_forward", "1", "red", ENOENT, 4294967295u, 7},
      {qlimit, "1", "blue", ENOENT, 4294967295u, 7},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.path + " = '" + row.value + "' in " + row.ns);
    EXPECT_EQ(errorOf(Zell::writeProcSysInNetNs(row.path, row.value, row.ns)), row.error);
    auto const s = kernel.snapshot("red").at(0);
    EXPECT_EQ(s.unresolvedEntries, row.entries);
    EXPECT_EQ(s.unresolvedBuffers, row.buffers);
  }
  EXPECT_EQ(kernel.snapshot("default").at(0).unresolvedEntries, 0u);
}

TEST(SimKernelTest, FaultAndErrnoNamesReadAsOperatorsWriteThem) {
  for (int k = int(CallKind::socket); k < int(CallKind::close); ++k) {
    EXPECT_EQ(Kernel::faultKindFromName(Kernel::callKindName(CallKind(k))), CallKind(k));
  }
  EXPECT_EQ(Kernel::faultKindFromName("add-vif"), CallKind::addVif);
  EXPECT_EQ(Kernel::faultKindFromName("proc-write"), CallKind::procWrite);
  for (char const* refused : {"close", "other", "add_vif", "ADD-VIF", ""}) {
    EXPECT_EQ(Kernel::faultKindFromName(refused), std::nullopt) << refused;
  }
  for (int error : {ENODEV, ENOBUFS, EADDRINUSE, EACCES, ENOENT, EINVAL, ENOMEM, EPERM, ENFILE,
                    EBADF, EADDRNOTAVAIL, ENOPROTOOPT, ENOTTY}) {
    EXPECT_EQ(Kernel::errnoFromName(Kernel::errnoName(error)), error);
  }
  EXPECT_EQ(Kernel::errnoFromName("ENOBUFS"), ENOBUFS);
  EXPECT_EQ(Kernel::errnoName(EADDRINUSE), "EADDRINUSE");
  EXPECT_EQ(Kernel::errnoFromName("enodev"), std::nullopt);
  EXPECT_EQ(Kernel::errnoName(4095), "4095");
}

}  // namespace
}  // namespace KernelTest
