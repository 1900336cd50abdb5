// The free kernel functions reach whichever backend is installed, and nothing without one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "kernel/Backend.h"
#include "plix/SocketAt.h"
#include "zell/ProcSys.h"

namespace {

using ::testing::_;
using ::testing::Return;

class MockBackend : public Kernel::Backend {
 public:
  MOCK_METHOD(int, socketAt, (int, int, int, Plix::NamespaceName const&), (override));
  MOCK_METHOD(int, setsockopt, (int, int, int, void const*, socklen_t), (override));
  MOCK_METHOD(int, ioctl, (int, unsigned long, void*), (override));
  MOCK_METHOD(int, close, (int), (override));
  MOCK_METHOD(int, writeProcSys,
              (std::string const&, std::string const&, Plix::NamespaceName const&), (override));
  MOCK_METHOD(std::vector<Kernel::NamespaceSnapshot>, snapshot,
              (std::optional<Plix::NamespaceName>), (const, override));
};

TEST(BackendTest, WithoutABackendEveryCallFailsWithEnosys) {
  ASSERT_EQ(Kernel::Backend::current(), nullptr);
  int value = 1;
  std::function<int()> const calls[] = {
      [] { return Plix::socketAt(2, 3, 255, "default"); },
      [&] { return Plix::setsockopt(3, 0, 210, &value, sizeof value); },
      [&] { return Plix::ioctl(3, 0x5421, &value); },
      [] { return Plix::close(3); },
      [] { return Zell::writeProcSysInNetNs("/proc/sys/x", "1", "default"); },
  };
  for (auto const& call : calls) {
    errno = 0;
    EXPECT_EQ(call(), -1);
    EXPECT_EQ(errno, ENOSYS);
  }
}

TEST(BackendTest, CallsReachTheInnermostInstalledBackendWithTheirArguments) {
  MockBackend outer;
  MockBackend inner;
  int value = 1;
  {
    Kernel::Backend::Use useOuter(outer);
    {
      Kernel::Backend::Use useInner(inner);
      EXPECT_CALL(inner, socketAt(10, 3, 58, Plix::NamespaceName("red"))).WillOnce(Return(7));
      EXPECT_CALL(inner, setsockopt(7, 41, 200, &value, 4)).WillOnce(Return(0));
      EXPECT_CALL(inner, ioctl(7, 0x5421ul, &value)).WillOnce(Return(0));
      EXPECT_CALL(inner, close(7)).WillOnce(Return(0));
      EXPECT_CALL(inner, writeProcSys("/proc/sys/a", "5", Plix::NamespaceName("red")))
          .WillOnce(Return(0));
      EXPECT_EQ(Plix::socketAt(10, 3, 58, "red"), 7);
      EXPECT_EQ(Plix::setsockopt(7, 41, 200, &value, 4), 0);
      EXPECT_EQ(Plix::ioctl(7, 0x5421, &value), 0);
      EXPECT_EQ(Plix::close(7), 0);
      EXPECT_EQ(Zell::writeProcSysInNetNs("/proc/sys/a", "5", "red"), 0);
    }
    EXPECT_EQ(Kernel::Backend::current(), &outer);
    EXPECT_CALL(outer, close(_)).WillOnce(Return(0));
    EXPECT_EQ(Plix::close(9), 0);
  }
  EXPECT_EQ(Kernel::Backend::current(), nullptr);
}

}  // namespace
