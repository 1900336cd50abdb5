// The platform backend against the kernel the tests run on, where the sandbox allows it: a
// named namespace is made for the test and removed after it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "kernel/NetNsEntry.h"
#include "kernel/PlatformKernel.h"
#include "plix/SocketAt.h"
#include "zell/ProcSys.h"

namespace {

ino_t inodeOf(std::string const& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

ino_t threadNetns() { return inodeOf("/proc/thread-self/ns/net"); }

std::string readFile(std::string const& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A network namespace under /run/netns made the way `ip netns add` makes one.
class ScratchNetns {
 public:
  ScratchNetns() {
    if (::geteuid() != 0) {
      failure_ = "not root";
      return;
    }
    createdDir_ = ::mkdir("/run/netns", 0755) == 0;
    int const fd = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
    if (fd < 0) {
      failure_ = std::string("cannot create ") + path_ + ": " + std::strerror(errno);
      return;
    }
    ::close(fd);
    std::thread([this] {
      if (::unshare(CLONE_NEWNET) < 0 ||
          ::mount("/proc/thread-self/ns/net", path_.c_str(), "none", MS_BIND, nullptr) < 0) {
        failure_ = std::string("cannot make a network namespace: ") + std::strerror(errno);
      }
    }).join();
    mounted_ = failure_.empty();
  }
  ~ScratchNetns() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    ::unlink(path_.c_str());
    if (createdDir_) ::rmdir("/run/netns");
  }
  ScratchNetns(ScratchNetns const&) = delete;
  ScratchNetns& operator=(ScratchNetns const&) = delete;

  std::string const& failure() const { return failure_; }
  std::string const& name() const { return name_; }
  std::string const& path() const { return path_; }

 private:
  std::string name_ = "kmfib-test-" + std::to_string(::getpid());
  std::string path_ = "/run/netns/" + name_;
  std::string failure_;
  bool createdDir_ = false;
  bool mounted_ = false;
};

class PlatformKernelTest : public ::testing::Test {
 protected:
  Kernel::PlatformKernel kernel;
  Kernel::Backend::Use use{kernel};
};

TEST_F(PlatformKernelTest, RawSocketInTheDefaultNamespaceGoesNonBlocking) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw sockets need root";
  int const fd = Plix::socketAt(AF_INET, SOCK_RAW, IPPROTO_RAW, "default");
  ASSERT_GE(fd, 0) << std::strerror(errno);
  int one = 1;
  EXPECT_EQ(Plix::ioctl(fd, 0x5421, &one), 0);
  EXPECT_TRUE(::fcntl(fd, F_GETFL) & O_NONBLOCK);
  EXPECT_EQ(Plix::close(fd), 0);
  EXPECT_EQ(Plix::close(fd), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST_F(PlatformKernelTest, NamedNamespaceCallsLandThereAndTheThreadComesBack) {
  ScratchNetns netns;
  if (!netns.failure().empty()) GTEST_SKIP() << netns.failure();
  ino_t const home = threadNetns();
  int const fd = Plix::socketAt(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6, netns.name());
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_EQ(threadNetns(), home);
  int const socketNs = ::ioctl(fd, SIOCGSKNS);
  EXPECT_EQ(inodeOf("/proc/self/fd/" + std::to_string(socketNs)), inodeOf(netns.path()));
  ::close(socketNs);
  EXPECT_EQ(Plix::close(fd), 0);

  std::string const path = "/proc/sys/net/ipv4/ip_forward";
  std::string const before = readFile(path);
  ASSERT_EQ(Zell::writeProcSysInNetNs(path, "1", netns.name()), 0) << std::strerror(errno);
  EXPECT_EQ(threadNetns(), home);
  EXPECT_EQ(readFile(path), before);
  {
    Kernel::NetNsEntry const inside(netns.name());
    ASSERT_EQ(inside.error(), 0);
    EXPECT_EQ(readFile(path), "1\n");
  }
  EXPECT_EQ(Zell::writeProcSysInNetNs("/proc/sys/net/ipv4/kmfib_absent", "1", netns.name()), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(threadNetns(), home);
}

TEST_F(PlatformKernelTest, RefusedNamespacesLeaveTheThreadWhereItWas) {
  ino_t const home = threadNetns();
  std::pair<char const*, int> const rows[] = {{"kmfib-no-such-namespace", ENOENT},
                                              {"../../proc/1/ns/net", EINVAL}};
  for (auto const& [ns, error] : rows) {
    SCOPED_TRACE(ns);
    EXPECT_EQ(Plix::socketAt(AF_INET, SOCK_RAW, IPPROTO_RAW, ns), -1);
    EXPECT_EQ(errno, error);
    EXPECT_EQ(Zell::writeProcSysInNetNs("/proc/sys/net/ipv4/ip_forward", "1", ns), -1);
    EXPECT_EQ(errno, error);
    EXPECT_EQ(threadNetns(), home);
  }
}

}  // namespace
