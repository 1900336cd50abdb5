// Every mistake the kernel refuses, with the errno the kernel gives, and nothing changed.

#include <functional>

#include "KernelTestSupport.h"

namespace KernelTest {
namespace {

class ErrnoTest : public FamilyTest {
 protected:
  ErrnoTest() {
    fd = router();
    EXPECT_EQ(setInt(fd, 208), 0);
    EXPECT_EQ(addVif(fd, 1, 7), 0);
    EXPECT_EQ(addMfc(fd, 1, {0}), 0);
  }
  int fd = -1;
};

struct Row {
  char const* what;
  std::function<int()> call;
  int error;
};

TEST_P(ErrnoTest, RefusedAsTheKernelDoesAndChangesNothing) {
  auto const& f = family();
  Row const rows[] = {
      {"VIF record one byte short",
       [&] {
         Record r = f.vif(2, 7);
         r.pop_back();
         return set(fd, 202, r);
       },
       EINVAL},
      {"MFC record one byte long",
       [&] {
         Record r = f.mfc(f.source, f.otherGroup, 1, {});
         r.push_back(0);
         return set(fd, 204, r);
       },
       EINVAL},
      {"option at the other family's level",
       [&] {
         Record const r = f.vif(2, 7);
         return Plix::setsockopt(fd, f.level == 0 ? 41 : 0, 202, r.data(), socklen_t(r.size()));
       },
       EINVAL},
      {"unknown option", [&] { return setInt(fd, 206); }, ENOPROTOOPT},
      {"the other family's start option",
       [&] { return setInt(fd, f.startOption == 210 ? 200 : 210); }, ENOPROTOOPT},
      {"VIF index in use", [&] { return addVif(fd, 1, 8); }, EADDRINUSE},
      {"second Register VIF", [&] { return set(fd, 202, f.registerVif(2)); }, EADDRINUSE},
      {"delete of an absent VIF", [&] { return set(fd, 203, f.delVif(2)); }, EADDRNOTAVAIL},
      {"delete of an absent MFC entry",
       [&] { return set(fd, 205, f.mfc(f.source, f.otherGroup, 1, {})); }, ENOENT},
      {"interface index the namespace lacks", [&] { return addVif(fd, 2, 9); }, ENODEV},
      {"VIF index 512", [&] { return addVif(fd, 512, 8); }, ENFILE},
      {"MFC parent 512", [&] { return set(fd, 204, f.mfc(f.source, f.otherGroup, 512, {})); },
       ENFILE},
      {"VIF flags the agent never sends",
       [&] {
         Record r = f.vif(2, 8);
         r[2] = 0x02;
         return set(fd, 202, r);
       },
       EINVAL},
      {"start on a second socket", [&] { return start(open()); }, EADDRINUSE},
      {"VIF from a socket that did not start", [&] { return addVif(open(), 2, 8); }, EACCES},
      {"shutdown from a socket that did not start", [&] { return setInt(open(), 201); }, EACCES},
      {"PIM with a two-byte value",
       [&] {
         std::uint16_t const one = 1;
         return Plix::setsockopt(fd, f.level, 208, &one, sizeof one);
       },
       EINVAL},
      {"option without a value", [&] { return Plix::setsockopt(fd, f.level, 208, nullptr, 4); },
       EFAULT},
      {"start on a datagram socket",
       [&] { return start(Plix::socketAt(f.domain, SOCK_DGRAM, 0, "red")); }, EOPNOTSUPP},
      {"closed descriptor",
       [&] {
         int const other = open();
         Plix::close(other);
         return addVif(other, 2, 8);
       },
       EBADF},
      {"close of a closed descriptor",
       [&] {
         int const other = open();
         Plix::close(other);
         return Plix::close(other);
       },
       EBADF},
      {"unknown ioctl",
       [&] {
         int value = 0;
         return Plix::ioctl(fd, 0x8912, &value);
       },
       ENOTTY},
      {"socket in a missing namespace", [&] { return open("blue"); }, ENOENT},
      {"socket of a family without multicast routing",
       [&] { return Plix::socketAt(AF_PACKET, SOCK_RAW, 0, "red"); }, EAFNOSUPPORT},
  };
  auto const before = snapshot();
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(errorOf(row.call()), row.error);
    EXPECT_EQ(kernel.calls().back().result, -1);
    EXPECT_EQ(kernel.calls().back().error, row.error);
    EXPECT_EQ(snapshot(), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, ErrnoTest, ::testing::Values(ipv4, ipv6), familyName);

}  // namespace
}  // namespace KernelTest
