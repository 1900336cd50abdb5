// The daemon's operator log of kernel events, on the simulated kernel with records written
// field by field: one line per socket, start, VIF, shutdown and close, none per route, and the
// count at the end of a full review. Errno survives the log.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "kernel/ErrnoName.h"
#include "kernel/SimKernel.h"
#include "tests/kernel/KernelTestSupport.h"
#include "tools/kmfibd/KernelEventLog.h"
#include "trace/CaptureSink.h"
#include "trace/Context.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace {

using KernelTest::ipv4;

class KernelEventLogTest : public testing::Test {
 protected:
  KernelEventLogTest() { kernel_.netnsIs(Plix::NamespaceName("blue")); }

  int open(char const* ns) { return log_.socketAt(ipv4.domain, SOCK_RAW, ipv4.protocol, Plix::NamespaceName(ns)); }
  int set(int fd, int option, KernelTest::Record const& record) {
    return log_.setsockopt(fd, ipv4.level, option, record.data(), static_cast<socklen_t>(record.size()));
  }
  int start(int fd) {
    int const one = 1;
    return log_.setsockopt(fd, ipv4.level, ipv4.startOption, &one, sizeof one);
  }
  std::vector<std::string> lines() const { return capture_.texts("kmfibd"); }

  Trace::CaptureSink capture_;
  Trace::SinkScope sink_{capture_};
  Trace::SelectionScope selection_{"kmfibd/1"};
  Kernel::SimKernel kernel_;
  Kmfibd::KernelEventLog log_{kernel_};
};

TEST_F(KernelEventLogTest, OneLinePerOperatorEventNonePerRoute) {
  kernel_.linkIs(Plix::NamespaceName("blue"), "eth1", 11);
  int const fd = open("blue");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(start(fd), 0);
  ASSERT_EQ(set(fd, Kernel::mrtAddVif, ipv4.vif(1, 11)), 0);
  ASSERT_EQ(set(fd, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.1", "239.1.1.1", 1, {})), 0);
  ASSERT_EQ(set(fd, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.2", "239.1.1.1", 1, {})), 0);
  log_.reviewFinished();
  int const zero = 0;
  ASSERT_EQ(log_.setsockopt(fd, ipv4.level, Kernel::mrtDone, &zero, sizeof zero), 0);
  ASSERT_EQ(log_.close(fd), 0);
  std::string const s = std::to_string(fd);
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "namespace blue: socket " + s + " opened",
                         "namespace blue: multicast routing started on socket " + s,
                         "namespace blue: VIF 1 (ifindex 11) registered",
                         "full review finished: 2 MFC updates in namespace blue",
                         "namespace blue: multicast routing shut down on socket " + s,
                         "namespace blue: socket " + s + " closed",
                     }));
}

TEST_F(KernelEventLogTest, RefusalsAreLoggedWithTheirErrnoAndPassItOn) {
  int const missing = open("nosuch");
  EXPECT_EQ(missing, -1);
  EXPECT_EQ(errno, ENOENT);
  int const fd = open("blue");
  kernel_.faultIs(Plix::NamespaceName("blue"), Kernel::CallKind::start, EADDRINUSE);
  EXPECT_EQ(start(fd), -1);
  EXPECT_EQ(errno, EADDRINUSE);
  ASSERT_EQ(start(fd), 0);
  EXPECT_EQ(set(fd, Kernel::mrtAddVif, ipv4.vif(2, 99)), -1) << "no device with ifindex 99";
  int const error = errno;
  log_.reviewFinished();
  std::string const s = std::to_string(fd);
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "namespace nosuch: socket refused: ENOENT",
                         "namespace blue: socket " + s + " opened",
                         "namespace blue: multicast routing refused: EADDRINUSE on socket " + s,
                         "namespace blue: multicast routing started on socket " + s,
                         "namespace blue: VIF 2 (ifindex 99) refused: " + Kernel::errnoName(error),
                         "full review finished: 0 MFC updates",
                     }));
}

TEST_F(KernelEventLogTest, ReviewCountsArePerNamespace) {
  kernel_.netnsIs(Plix::NamespaceName("red"));
  int const blue = open("blue");
  int const red = open("red");
  start(blue);
  start(red);
  set(red, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.1", "239.1.1.1", 0, {}));
  set(blue, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.1", "239.1.1.1", 0, {}));
  set(blue, Kernel::mrtDelMfc, ipv4.mfc("10.0.0.1", "239.1.1.1", 0, {}));
  capture_.clear();
  log_.reviewFinished();
  set(red, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.2", "239.1.1.1", 0, {}));
  log_.reviewFinished();
  EXPECT_EQ(lines(), (std::vector<std::string>{"full review finished: 2 MFC updates in namespace blue",
                                               "full review finished: 2 MFC updates in namespace red"}));
}

// Two VRFs reviewing at once: each review's end counts what its own VRF wrote, whichever
// namespace wrote last.
TEST_F(KernelEventLogTest, ReviewCountsFollowTheVrfAtWork) {
  kernel_.netnsIs(Plix::NamespaceName("red"));
  int const blue = open("blue");
  int const red = open("red");
  start(blue);
  start(red);
  auto const blueVrf = Trace::context("vrf=blue");
  auto const redVrf = Trace::context("vrf=red");
  auto add = [&](Trace::Context vrf, int fd, char const* source) {
    Trace::ContextScope scope(vrf);
    set(fd, Kernel::mrtAddMfc, ipv4.mfc(source, "239.1.1.1", 0, {}));
  };
  add(blueVrf, blue, "10.0.0.1");
  add(redVrf, red, "10.0.0.1");
  add(blueVrf, blue, "10.0.0.2");
  add(blueVrf, blue, "10.0.0.3");
  add(redVrf, red, "10.0.0.2");
  capture_.clear();
  {
    Trace::ContextScope scope(blueVrf);
    log_.reviewFinished();
  }
  {
    Trace::ContextScope scope(redVrf);
    log_.reviewFinished();
    log_.reviewFinished();
  }
  EXPECT_EQ(lines(), (std::vector<std::string>{"full review finished: 3 MFC updates in namespace blue",
                                               "full review finished: 2 MFC updates in namespace red",
                                               "full review finished: 0 MFC updates"}));
}

}  // namespace

namespace {

// A backend that cannot read its kernel back, with counters of its own.
class BlindKernel final : public Kernel::Backend {
 public:
  int socketAt(int, int, int, Plix::NamespaceName const&) override { return -1; }
  int setsockopt(int, int, int, void const*, socklen_t) override { return -1; }
  int ioctl(int, unsigned long, void*) override { return -1; }
  int close(int) override { return -1; }
  int writeProcSys(std::string const&, std::string const&, Plix::NamespaceName const&) override { return -1; }
  std::vector<Kernel::NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName>) const override { return {}; }
  std::vector<Kernel::MfcCounter> counters(std::optional<Plix::NamespaceName> ns) const override {
    asked = ns;
    return {held};
  }
  Kernel::MfcCounter held;
  mutable std::optional<Plix::NamespaceName> asked;
};

}  // namespace

// The mirror audit asks the installed backend, which in the daemon is the log: it must answer
// for the kernel behind it, or the audit on a kernel that reads back would never run.
TEST_F(KernelEventLogTest, ReadingBackAndCountersAreTheKernelsBehindIt) {
  EXPECT_TRUE(log_.readsBack());
  kernel_.linkIs(Plix::NamespaceName("blue"), "eth1", 11);
  int const fd = open("blue");
  ASSERT_EQ(start(fd), 0);
  ASSERT_EQ(set(fd, Kernel::mrtAddVif, ipv4.vif(1, 11)), 0);
  ASSERT_EQ(set(fd, Kernel::mrtAddMfc, ipv4.mfc("10.0.0.1", "239.1.1.1", 1, {})), 0);
  EXPECT_EQ(log_.counters(Plix::NamespaceName("blue")), kernel_.counters(Plix::NamespaceName("blue")));
  EXPECT_EQ(log_.counters(std::nullopt).size(), 1u);

  BlindKernel blind;
  blind.held.packets = 7;
  Kmfibd::KernelEventLog blindLog(blind);
  EXPECT_FALSE(blindLog.readsBack());
  auto const counters = blindLog.counters(Plix::NamespaceName("red"));
  ASSERT_EQ(counters.size(), 1u);
  EXPECT_EQ(counters[0].packets, 7u);
  EXPECT_EQ(blind.asked, Plix::NamespaceName("red"));
}
