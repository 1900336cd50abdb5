#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/EnvScope.h"
#include "tests/support/TempDir.h"
#include "trace/TimeSourceScope.h"
#include "trace/vorlak/Reader.h"
#include "trace/vorlak/Vorlak.h"

namespace {

using ::testing::ElementsAre;
using Vorlak::RouteKeyRecord;

Vorlak::Message<> const startChanged{0, "Starting review of changed routes"};
Vorlak::Message<RouteKeyRecord, std::int32_t> const syncing{1, "Syncing key {} from table {}"};
Vorlak::Message<std::uint32_t, std::uint64_t, double, std::string_view> const mixed{2, "u {} u64 {} d {} s '{}'"};
Vorlak::Message<std::uint64_t> const sequence{1, "seq {}"};
Vorlak::Message<std::uint64_t, std::string> const sequenceText{1, "seq {} {}"};
Vorlak::Message<> const other{0, "Other message"};

std::vector<std::string> linesOf(std::string const& path) {
  Vorlak::Reader const reader(path);
  std::vector<std::string> lines;
  for (auto const& record : reader.records()) lines.push_back(reader.line(record));
  return lines;
}

std::vector<std::uint64_t> sequenceOf(std::string const& path) {
  Vorlak::Reader const reader(path);
  std::vector<std::uint64_t> numbers;
  for (auto const& record : reader.records()) numbers.push_back(std::stoull(reader.text(record).substr(4)));
  return numbers;
}

class VorlakTest : public ::testing::Test {
 protected:
  ~VorlakTest() override { Vorlak::shutdown(); }

  void open(std::string const& name, int log2 = 16, int maxMessages = 512, int suppressed = 0) {
    Vorlak::initialize(dir.file(name).c_str(), nullptr, "vorlak test", suppressed, log2, 0, true, maxMessages);
  }

  TestSupport::TempDir dir;
  double now = 1.0;
  Trace::TimeSourceScope time{[this] { return now += 0.25; }};
};

TEST_F(VorlakTest, EveryTagRoundTrips) {
  open("all.vk");
  startChanged.log();
  syncing.log(RouteKeyRecord::v4({10, 0, 0, 1}, 32, {239, 1, 1, 1}, 32), 3);
  syncing.log(RouteKeyRecord::v4({0, 0, 0, 0}, 0, {239, 255, 0, 1}, 32), -1);
  syncing.log(RouteKeyRecord::v6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128,
                                 {0xff, 0x3e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 1}, 128),
              std::numeric_limits<std::int32_t>::max());
  syncing.log(RouteKeyRecord::v6({}, 0, {0xff, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 3}, 128),
              std::numeric_limits<std::int32_t>::min());
  mixed.log(4294967295u, 18446744073709551615ull, 0.1, "Ethernet1");
  mixed.log(0, 0, -2.5e-7, "");
  Vorlak::shutdown();

  EXPECT_THAT(linesOf(dir.file("all.vk")),
              ElementsAre("1.250000 0 Starting review of changed routes",
                          "1.500000 1 Syncing key (10.0.0.1/32, 239.1.1.1/32) from table 3",
                          "1.750000 1 Syncing key (0.0.0.0/0, 239.255.0.1/32) from table -1",
                          "2.000000 1 Syncing key (2001:db8::1/128, ff3e::8000:1/128) from table 2147483647",
                          "2.250000 1 Syncing key (::/0, ff05::1:3/128) from table -2147483648",
                          "2.500000 2 u 4294967295 u64 18446744073709551615 d 0.1 s 'Ethernet1'",
                          "2.750000 2 u 0 u64 0 d -2.5e-07 s ''"));
  Vorlak::Reader const reader(dir.file("all.vk"));
  ASSERT_EQ(reader.messages().size(), 3u);
  EXPECT_THAT(reader.messages()[1].tags, ElementsAre("MFGK", "i"));
  EXPECT_THAT(reader.messages()[2].tags, ElementsAre("u", "u", "d", "s"));
  EXPECT_EQ(reader.messages()[1].text, "Syncing key {} from table {}");
  EXPECT_EQ(reader.pid(), ::getpid());
  EXPECT_EQ(reader.description(), "vorlak test");
  EXPECT_EQ(reader.recordsWritten(), 7u);
  EXPECT_EQ(reader.dropped(), 0u);
}

TEST_F(VorlakTest, LongStringsAreCut) {
  open("long.vk");
  mixed.log(1, 2, 3.0, std::string(5000, 'x'));
  Vorlak::shutdown();
  Vorlak::Reader const reader(dir.file("long.vk"));
  ASSERT_EQ(reader.records().size(), 1u);
  EXPECT_EQ(reader.records()[0].args[3], std::string(Vorlak::maxStringBytes, 'x'));
}

TEST_F(VorlakTest, WrapKeepsTheNewestWholeRecords) {
  open("fixed.vk", 12);
  for (std::uint64_t n = 0; n < 1000; ++n) sequence.log(n);
  Vorlak::shutdown();
  // 32-byte records fill the 4096-byte ring exactly: the last 128 survive.
  auto const fixed = sequenceOf(dir.file("fixed.vk"));
  ASSERT_EQ(fixed.size(), 128u);
  EXPECT_EQ(fixed.front(), 872u);
  EXPECT_EQ(fixed.back(), 999u);

  open("mixed.vk", 12);
  for (std::uint64_t n = 0; n < 1000; ++n) sequenceText.log(n, std::string(n % 37, 'x'));
  Vorlak::shutdown();
  Vorlak::Reader const reader(dir.file("mixed.vk"));
  auto const& records = reader.records();
  // Records of 32 to 64 bytes with pads at the ring's end: at least a ring's worth minus one.
  ASSERT_GE(records.size(), 4096u / 64 - 1);
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto const n = 1000 - records.size() + i;
    EXPECT_EQ(reader.text(records[i]), "seq " + std::to_string(n) + " " + std::string(n % 37, 'x'));
  }
  EXPECT_EQ(reader.recordsWritten(), 1000u);
}

TEST_F(VorlakTest, ProcessIdReplacesPercentD) {
  open("agent-%d.vk");
  EXPECT_TRUE(std::filesystem::exists(dir.file("agent-" + std::to_string(::getpid()) + ".vk")));

  struct Case {
    char const* name;
    char const* directory;
    char const* path;
  };
  Case const cases[] = {
      {"KernelMfib-%d.vk", "/var/trace", "/var/trace/KernelMfib-42.vk"},
      {"KernelMfib.vk", "/var/trace/", "/var/trace/KernelMfib.vk"},
      {"/abs/a-%d.vk", "/var/trace", "/abs/a-42.vk"},
      {"%d-%d", "", "42-42"},
      {"a%", "/d", "/d/a%"},
      {"a%x-%dd", "/d", "/d/a%x-42d"},
  };
  for (auto const& c : cases) EXPECT_EQ(Vorlak::Writer::pathFor(c.name, 42, c.directory), c.path) << c.name;
}

TEST_F(VorlakTest, RelativeNameGoesToVorlakDir) {
  TestSupport::EnvScope env("VORLAKDIR", dir.path().c_str());
  Vorlak::initialize("KernelMfib.vk", nullptr, nullptr, 0, 24, 0, true, 512);
  EXPECT_EQ(Vorlak::Writer::current()->path(), dir.file("KernelMfib.vk"));
  EXPECT_EQ(std::filesystem::file_size(dir.file("KernelMfib.vk")), 256u + 512u * 256u + (1u << 24));
}

TEST_F(VorlakTest, BadArgumentsChangeNothing) {
  struct Case {
    char const* name;
    char const* sizeSpec;
    int suppressed;
    int log2;
    int threading;
    int maxMessages;
    char const* error;
  };
  Case const cases[] = {
      {nullptr, nullptr, 0, 16, 0, 512, "no file name"},
      {"", nullptr, 0, 16, 0, 512, "no file name"},
      {"x.vk", nullptr, 0, 11, 0, 512, "ring size log2 11 is not in 12-30"},
      {"x.vk", nullptr, 0, 31, 0, 512, "ring size log2 31 is not in 12-30"},
      {"x.vk", "12X", 0, 16, 0, 512, "size \"12X\" is not a number"},
      {"x.vk", "", 0, 16, 0, 512, "size \"\" is not a number"},
      {"x.vk", "-4K", 0, 16, 0, 512, "size \"-4K\" is not a number"},
      {"x.vk", "3000", 0, 16, 0, 512, "ring size 3000 is not a power of two"},
      {"x.vk", "1K", 0, 16, 0, 512, "ring size 1024 is not a power of two from 4096"},
      {"x.vk", "2G", 0, 16, 0, 512, "size \"2G\" is larger than 1G"},
      {"x.vk", nullptr, -1, 16, 0, 512, "suppressed-level mask -1 is not in 0-255"},
      {"x.vk", nullptr, 256, 16, 0, 512, "suppressed-level mask 256 is not in 0-255"},
      {"x.vk", nullptr, 0, 16, 2, 512, "multi-threading mode 2 is not 0 or 1"},
      {"x.vk", nullptr, 0, 16, 0, 0, "message table size 0 is not positive"},
      {"x.vk", nullptr, 0, 16, 0, 65536, "message table size 65536 is not in 1-65535"},
  };
  for (auto const& c : cases) {
    auto const path = c.name && c.name[0] ? dir.file(c.name) : std::string(c.name ? c.name : "");
    try {
      Vorlak::initialize(c.name ? path.c_str() : nullptr, c.sizeSpec, nullptr, c.suppressed, c.log2, c.threading,
                         true, c.maxMessages);
      ADD_FAILURE() << "accepted case " << c.error;
    } catch (std::invalid_argument const& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
    EXPECT_FALSE(Vorlak::isActive()) << c.error;
  }
  EXPECT_TRUE(dir.empty());
  EXPECT_THROW(open("missing/x.vk"), std::system_error);
  EXPECT_FALSE(Vorlak::isActive());
}

TEST_F(VorlakTest, SecondInitializeIsRefusedAndTheFirstKeepsLogging) {
  open("first.vk");
  startChanged.log();
  EXPECT_THROW(open("second.vk"), std::logic_error);
  EXPECT_FALSE(std::filesystem::exists(dir.file("second.vk")));
  open("first.vk");  // a restarted agent asks again for the same file: the trace goes on
  startChanged.log();
  Vorlak::shutdown();
  EXPECT_EQ(linesOf(dir.file("first.vk")).size(), 2u);
}

TEST_F(VorlakTest, ReopeningRegistersMessagesAfresh) {
  startChanged.log();  // no trace open: nothing written, nothing registered
  open("one.vk");
  startChanged.log();
  Vorlak::shutdown();
  startChanged.log();
  open("two.vk");
  other.log();
  Vorlak::shutdown();

  EXPECT_THAT(linesOf(dir.file("one.vk")), ElementsAre("1.250000 0 Starting review of changed routes"));
  Vorlak::Reader const two(dir.file("two.vk"));
  ASSERT_EQ(two.messages().size(), 1u);
  EXPECT_EQ(two.messages()[0].text, "Other message");
  EXPECT_EQ(two.records().size(), 1u);
}

TEST_F(VorlakTest, SuppressedLevelsAndFullTableDropRecords) {
  open("levels.vk", 16, 512, 0b10);
  startChanged.log();
  sequence.log(7);
  Vorlak::shutdown();
  EXPECT_THAT(linesOf(dir.file("levels.vk")), ElementsAre("1.250000 0 Starting review of changed routes"));

  open("full.vk", 16, 1);
  startChanged.log();
  other.log();
  other.log();
  startChanged.log();
  Vorlak::shutdown();
  Vorlak::Reader const full(dir.file("full.vk"));
  EXPECT_EQ(full.messages().size(), 1u);
  EXPECT_EQ(full.records().size(), 2u);
  EXPECT_EQ(full.dropped(), 2u);
}

TEST_F(VorlakTest, FileIsRemovedAtShutdownUnlessKept) {
  Vorlak::initialize(dir.file("gone.vk").c_str(), "4K", nullptr, 0, 0, 0, false, 8);
  EXPECT_TRUE(std::filesystem::exists(dir.file("gone.vk")));
  Vorlak::shutdown();
  EXPECT_FALSE(std::filesystem::exists(dir.file("gone.vk")));
}

TEST_F(VorlakTest, ThreadedModeKeepsEveryRecordWhole) {
  Vorlak::initialize(dir.file("threads.vk").c_str(), "1M", nullptr, 0, 0, 1, true, 8);
  auto const writer = [] {
    for (std::uint64_t n = 0; n < 2000; ++n) sequenceText.log(n, "thread");
  };
  std::thread a(writer);
  std::thread b(writer);
  a.join();
  b.join();
  Vorlak::shutdown();
  Vorlak::Reader const reader(dir.file("threads.vk"));
  EXPECT_EQ(reader.records().size(), 4000u);
  EXPECT_EQ(reader.messages().size(), 1u);
}

}  // namespace
