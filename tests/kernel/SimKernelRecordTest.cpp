// The simulated kernel reads every record field from the offset the agent writes it to.

#include <sstream>

#include "KernelTestSupport.h"
#include "kernel/KernelRecordPrinter.h"

namespace KernelTest {
namespace {

using Kernel::NamespaceSnapshot;
using VifFlags = NamespaceSnapshot::VifFlags;

class RecordTest : public RedKernel, public ::testing::Test {
 protected:
  static int router(int domain, int protocol, int level, int startOption) {
    int const fd = Plix::socketAt(domain, SOCK_RAW, protocol, "red");
    int const one = 1;
    EXPECT_EQ(Plix::setsockopt(fd, level, startOption, &one, sizeof one), 0);
    return fd;
  }
  static int set(int fd, int level, int option, Record const& r) {
    return Plix::setsockopt(fd, level, option, r.data(), socklen_t(r.size()));
  }
};

TEST_F(RecordTest, Ipv4VifFiveOnIfindexSeven) {
  int const fd = router(AF_INET, 255, 0, 210);
  // vifc_vifi 5, flags VIFF_USE_IFINDEX, threshold 1, rate limit 0, ifindex 7, remote 0.
  Record const record{5, 0, 0x08, 1, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(set(fd, 0, 202, record), 0);
  EXPECT_EQ(snapshot().vifs, (std::vector<NamespaceSnapshot::Vif>{
                                 {Plix::AddressFamily::ipv4, 5, 7, VifFlags::useIfindex, 1}}));
  EXPECT_EQ(kernel.calls().back().bytes, record);
}

TEST_F(RecordTest, Ipv6MifFiveOnIfindexSeven) {
  int const fd = router(AF_INET6, 58, 41, 200);
  // mif6c_mifi 5, flags 0, threshold 0, mif6c_pifi 7, padding, rate limit 0.
  Record const record{5, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(set(fd, 41, 202, record), 0);
  EXPECT_EQ(
      snapshot().vifs,
      (std::vector<NamespaceSnapshot::Vif>{{Plix::AddressFamily::ipv6, 5, 7, VifFlags::none, 0}}));
}

TEST_F(RecordTest, RegisterVifsOfBothFamilies) {
  int const fd4 = router(AF_INET, 255, 0, 210);
  int const fd6 = router(AF_INET6, 58, 41, 200);
  ASSERT_EQ(set(fd4, 0, 202, {0, 0, 0x04, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  ASSERT_EQ(set(fd6, 41, 202, {0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(snapshot().vifs, (std::vector<NamespaceSnapshot::Vif>{
                                 {Plix::AddressFamily::ipv4, 0, 0, VifFlags::registerVif, 1},
                                 {Plix::AddressFamily::ipv6, 0, 0, VifFlags::registerVif, 0}}));
}

TEST_F(RecordTest, Ipv4MfcFieldsAndVif511AtLastByte) {
  int const fd = router(AF_INET, 255, 0, 210);
  for (std::uint16_t index : {1, 511}) ASSERT_EQ(set(fd, 0, 202, vifctl(index, 0x08, 7)), 0);
  Record record(540);
  Record const head{10, 0, 0, 1, 239, 1, 1, 1, 1, 0};  // origin, group, parent 1
  std::copy(head.begin(), head.end(), record.begin());
  record[539] = 1;
  ASSERT_EQ(set(fd, 0, 204, record), 0);
  auto const all = snapshot().mfcs;
  ASSERT_EQ(all.size(), 1u);
  auto const& mfc = all.front();
  EXPECT_EQ(mfc.iif, 1);
  EXPECT_EQ(mfc.oifs, (std::vector<std::uint16_t>{511}));
  EXPECT_EQ((std::vector<std::uint8_t>(mfc.source.begin(), mfc.source.begin() + 4)),
            (Record{10, 0, 0, 1}));
  EXPECT_EQ((std::vector<std::uint8_t>(mfc.group.begin(), mfc.group.begin() + 4)),
            (Record{239, 1, 1, 1}));
}

TEST_F(RecordTest, Ipv6MfcFieldsAndMif511AtBit31OfWord15) {
  int const fd = router(AF_INET6, 58, 41, 200);
  for (std::uint16_t index : {2, 511}) ASSERT_EQ(set(fd, 41, 202, mif6ctl(index, 0, 7)), 0);
  Record record(124);
  record[8] = 0x20, record[9] = 0x01, record[23] = 0x01;    // origin 2001::1 in bytes 8..23
  record[36] = 0xff, record[37] = 0x3e, record[51] = 0x01;  // group ff3e::1 in bytes 36..51
  record[56] = 2;                                           // parent
  record[123] = 0x80;                                       // word 15, bit 31
  ASSERT_EQ(set(fd, 41, 204, record), 0);
  std::ostringstream out;
  Kernel::printKernelRecords(out, kernel.snapshot("red"));
  EXPECT_NE(out.str().find("mfc ns=red af=6 source=2001::1 group=ff3e::1 iif=2 oifs=511\n"),
            std::string::npos)
      << out.str();
}

TEST_F(RecordTest, OutgoingSetKeepsOnlyVifsThatExist) {
  int const fd = router(AF_INET, 255, 0, 210);
  for (std::uint16_t index : {3, 5}) ASSERT_EQ(set(fd, 0, 202, vifctl(index, 0x08, 7)), 0);
  Record record = mfcctl("10.0.0.1", "239.1.1.1", 65535, {3, 4});  // no VIF 4
  record[28 + 5] = 255;                                            // a TTL of 255 never forwards
  ASSERT_EQ(set(fd, 0, 204, record), 0);
  EXPECT_EQ(snapshot().mfcs.front().oifs, (std::vector<std::uint16_t>{3}));
  EXPECT_EQ(snapshot().mfcs.front().iif, 65535);
}

// TTLs are read eight at a time: each VIF's byte must count alone, at word and byte edges,
// whatever its neighbours hold.
TEST_F(RecordTest, EveryTtlByteCountsForItsOwnVifOnly) {
  struct Vif {
    std::uint16_t index;
    std::uint8_t ttl;
    bool exists;
  };
  Vif const vifs[] = {
      {0, 1, true},     {1, 5, false},   {6, 0, true},     {7, 255, true},  {8, 0x80, true},
      {9, 255, false},  {63, 254, true}, {64, 0x7f, true}, {65, 1, false},  {200, 255, true},
      {300, 1, false},  {447, 0, true},  {448, 0xfe, true}, {510, 255, false}, {511, 2, true},
  };
  int const fd = router(AF_INET, 255, 0, 210);
  Record record = mfcctl("10.0.0.1", "239.1.1.1", 0, {});
  std::vector<std::uint16_t> expected;
  for (Vif const& v : vifs) {
    if (v.exists) {
      ASSERT_EQ(set(fd, 0, 202, vifctl(v.index, 0x08, 7)), 0) << v.index;
    }
    record[28 + v.index] = v.ttl;
    if (v.exists && v.ttl != 0 && v.ttl != 255) expected.push_back(v.index);
  }
  ASSERT_EQ(set(fd, 0, 204, record), 0);
  EXPECT_EQ(snapshot().mfcs.front().oifs, expected);
}

TEST_F(RecordTest, OnlyTtlsZeroAndTwoFiftyFiveKeepAVifOut) {
  int const fd = router(AF_INET, 255, 0, 210);
  for (std::uint16_t index : {69, 70, 71}) ASSERT_EQ(set(fd, 0, 202, vifctl(index, 0x08, 7)), 0);
  for (unsigned ttl = 0; ttl < 256; ++ttl) {
    Record record = mfcctl("10.0.0.1", "239.1.1.1", 0, {});
    record[28 + 69] = 255;
    record[28 + 70] = static_cast<std::uint8_t>(ttl);
    record[28 + 71] = 0;
    ASSERT_EQ(set(fd, 0, 204, record), 0);
    bool const forwards = ttl != 0 && ttl != 255;
    EXPECT_EQ(snapshot().mfcs.front().oifs, forwards ? std::vector<std::uint16_t>{70} : std::vector<std::uint16_t>{})
        << "ttl " << ttl;
  }
}

}  // namespace
}  // namespace KernelTest
