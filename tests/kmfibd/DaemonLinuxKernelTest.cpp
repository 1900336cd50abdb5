// The daemon on the mainline kernel's backend, in process and without running its loop (so
// the agent makes no kernel call): what it says once at start-up, and its warning for a VRF
// whose VIF bound the kernel cannot hold, from the file, at run time and on a re-read file.
// The VRFs live in a namespace that does not exist, so nothing on the machine is touched.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "kernel/LinuxKernel.h"
#include "tests/support/TempDir.h"
#include "tools/kmfibd/Daemon.h"

namespace {

using Kmfibd::Daemon;
using Kmfibd::Host;
using testing::HasSubstr;

std::size_t count(std::string const& text, std::string const& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class DaemonLinuxKernelTest : public testing::Test {
 protected:
  void writeConfig(std::string const& text) const { std::ofstream(config_) << text; }
  std::unique_ptr<Daemon> start(Host::Options::Kernel kernel) {
    Daemon::Options options;
    options.host.kernel = kernel;
    options.configPath = config_;
    options.controlPath = dir_.file("control.sock");
    return std::make_unique<Daemon>(options);
  }
  static std::string warning(std::string const& vrf, std::uint32_t max) {
    return *Kernel::LinuxKernel::vifBoundWarning(vrf, max);
  }

  TestSupport::TempDir dir_;
  std::string config_ = dir_.file("kmfibd.conf");
  std::string const ns_ = "kmfib-absent-" + std::to_string(::getpid());
};

TEST_F(DaemonLinuxKernelTest, StartUpSaysOnceThatTheLimitsAreNotAppliedAndWarnsPerVrfAboveTheBound) {
  writeConfig("vrf blue netns " + ns_ + "\nconfig blue max 64\nvrf red netns " + ns_ +
              "\nconfig red max 32\nvrf green netns " + ns_ + "\nconfig green\n");
  testing::internal::CaptureStderr();
  auto daemon = start(Host::Options::Kernel::mainline);
  std::string const log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(log, Kernel::LinuxKernel::unresolvedLimitsNote()), 1u) << log;
  EXPECT_EQ(count(log, warning("blue", 64)), 1u) << log;
  EXPECT_EQ(count(log, warning("green", 512)), 1u) << "the default bound is above the kernel's\n" << log;
  EXPECT_EQ(count(log, "VRF red"), 0u) << log;
}

TEST_F(DaemonLinuxKernelTest, AVrfIsWarnedAboutOnceWhileItsBoundStaysAbove) {
  writeConfig("vrf red netns " + ns_ + "\nconfig red max 32\n");
  auto daemon = start(Host::Options::Kernel::mainline);
  testing::internal::CaptureStderr();
  EXPECT_EQ(daemon->execute("config red max 40"), "ok\n");
  EXPECT_EQ(daemon->execute("config red max 50"), "ok\n");
  EXPECT_EQ(daemon->execute("config red unresolved-entries 4"), "ok\n");
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(log, warning("red", 40)), 1u) << log;
  EXPECT_EQ(count(log, "VRF red"), 1u) << log;

  // Back under the bound, then above again: a new warning. The re-read file brings it back
  // under, and the next run-time change above warns again.
  testing::internal::CaptureStderr();
  EXPECT_EQ(daemon->execute("config red max 32"), "ok\n");
  EXPECT_EQ(daemon->execute("config red max 33"), "ok\n");
  writeConfig("vrf red netns " + ns_ + "\nconfig red max 16\n");
  EXPECT_TRUE(daemon->reload());
  EXPECT_EQ(daemon->execute("config red max 100"), "ok\n");
  log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(log, "VRF red"), 2u) << log;
  EXPECT_THAT(log, HasSubstr(warning("red", 33)));
  EXPECT_THAT(log, HasSubstr(warning("red", 100)));
}

TEST_F(DaemonLinuxKernelTest, OtherKernelsSayNothingOfTheMainlineBound) {
  writeConfig("netns a\nvrf blue netns a\nconfig blue max 64\n");
  testing::internal::CaptureStderr();
  auto daemon = start(Host::Options::Kernel::sim);
  std::string const log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(log, "linux kernel"), 0u) << log;
}

}  // namespace
