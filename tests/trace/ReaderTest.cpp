#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "trace/TimeSourceScope.h"
#include "trace/vorlak/DumpCommand.h"
#include "trace/vorlak/FileFormat.h"
#include "trace/vorlak/Reader.h"
#include "trace/vorlak/Vorlak.h"

// A type of the test's own, to show that other types can be tagged.
struct Colour {
  std::uint8_t red, green;
};

template <>
struct Vorlak::ArgTraits<Colour> {
  static constexpr std::string_view tag = "RG";
  static std::size_t size(Colour const&) { return 2; }
  static void encode(std::byte* out, Colour const& c) {
    out[0] = std::byte{c.red};
    out[1] = std::byte{c.green};
  }
};

namespace {

using Vorlak::FileFormat;

Vorlak::Message<Vorlak::RouteKeyRecord, std::int32_t> const syncing{1, "Syncing key {} from table {}"};
Vorlak::Message<Colour> const colour{3, "colour {}"};

std::string slurp(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void spit(std::string const& path, std::string const& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

template <class T>
void poke(std::string& bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

class ReaderTest : public ::testing::Test {
 protected:
  // A small trace with two records; the first starts the ring.
  void SetUp() override {
    Vorlak::initialize(good.c_str(), "4K", nullptr, 0, 0, 0, true, 4);
    syncing.log(Vorlak::RouteKeyRecord::v4({10, 1, 2, 3}, 32, {232, 0, 0, 9}, 32), 7);
    syncing.log(Vorlak::RouteKeyRecord::v4({0, 0, 0, 0}, 0, {232, 0, 0, 10}, 32), 8);
    Vorlak::shutdown();
    bytes = slurp(good);
    ringOffset = 256 + 4 * sizeof(FileFormat::MessageSlot);
  }
  void TearDown() override { Vorlak::shutdown(); }

  TestSupport::TempDir dir;
  std::string const good = dir.file("good.vk");
  std::string bytes;
  std::size_t ringOffset = 0;
  Trace::TimeSourceScope time{[] { return 5.0; }};
};

TEST_F(ReaderTest, MalformedFilesAreRefusedWithTheReason) {
  struct Case {
    char const* what;
    std::function<void(std::string&)> damage;
  };
  Case const cases[] = {
      {"too short for a header", [](std::string& b) { b.resize(100); }},
      {"bad magic", [](std::string& b) { b[0] = 'X'; }},
      {"another byte order", [](std::string& b) { poke<std::uint32_t>(b, 8, 0x04030201); }},
      {"version 9 is not known", [](std::string& b) { poke<std::uint32_t>(b, 12, 9); }},
      {"more messages than the table holds", [](std::string& b) { poke<std::uint32_t>(b, 28, 5); }},
      {"ring does not match the file size", [](std::string& b) { b.resize(b.size() - 8); }},
      {"ring positions are inconsistent",
       [](std::string& b) { poke<std::uint64_t>(b, offsetof(FileFormat::Header, tail), 1000); }},
      {"ring positions are inconsistent",
       [](std::string& b) { poke<std::uint64_t>(b, offsetof(FileFormat::Header, head), 5000); }},
      {"record length 12 at ring position 0", [&](std::string& b) { poke<std::uint32_t>(b, ringOffset, 12); }},
      {"record length 4096 at ring position 0", [&](std::string& b) { poke<std::uint32_t>(b, ringOffset, 4096); }},
      {"unknown message id 2 at ring position 0", [&](std::string& b) { poke<std::uint16_t>(b, ringOffset + 4, 2); }},
      {"argument cut short at ring position 0",
       [&](std::string& b) { poke<std::uint16_t>(b, ringOffset + 16, 60); }},
      {"5 arguments for a message of 2 at ring position 0",
       [&](std::string& b) { poke<std::uint16_t>(b, ringOffset + 16, 30); }},
      {"argument 1 (i) has 6 bytes at ring position 0",
       [&](std::string& b) {
         poke<std::uint8_t>(b, ringOffset + 6, 2);  // padding 4 -> 2
         poke<std::uint16_t>(b, ringOffset + 16 + 2 + 36, 6);
       }},
      {"message 0 has 3 arguments but 2 tags", [](std::string& b) { b[256 + 1] = 3; }},
  };
  for (auto const& c : cases) {
    auto damaged = bytes;
    c.damage(damaged);
    auto const path = dir.file("bad.vk");
    spit(path, damaged);
    try {
      Vorlak::Reader const reader(path);
      ADD_FAILURE() << "accepted: " << c.what;
    } catch (std::runtime_error const& e) {
      EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.what), std::string::npos) << e.what();
    }
  }
}

TEST_F(ReaderTest, UnknownTagsPrintAsHexUntilARendererIsGiven) {
  Vorlak::initialize(dir.file("colour.vk").c_str(), "4K", nullptr, 0, 0, 0, true, 4);
  colour.log(Colour{0x12, 0xab});
  Vorlak::shutdown();
  Vorlak::Reader reader(dir.file("colour.vk"));
  ASSERT_EQ(reader.records().size(), 1u);
  EXPECT_EQ(reader.line(reader.records()[0]), "5.000000 3 colour <RG:12ab>");
  reader.rendererIs("RG", [](std::string_view p) {
    return "red " + std::to_string(static_cast<unsigned char>(p[0]));
  });
  EXPECT_EQ(reader.text(reader.records()[0]), "colour red 18");
}

TEST_F(ReaderTest, DumpCommandPrintsRecordsOrExitsWithTwo) {
  struct Case {
    std::vector<char const*> args;
    int status;
    std::string out;
    std::string err;
  };
  auto const missing = dir.file("missing.vk");
  auto const notTrace = dir.file("text.vk");
  spit(notTrace, std::string(300, 'a'));
  Case const cases[] = {
      {{good.c_str()},
       0,
       "5.000000 1 Syncing key (10.1.2.3/32, 232.0.0.9/32) from table 7\n"
       "5.000000 1 Syncing key (0.0.0.0/0, 232.0.0.10/32) from table 8\n",
       ""},
      {{}, 2, "", "usage: vorlakdump FILE\n"},
      {{good.c_str(), good.c_str()}, 2, "", "usage: vorlakdump FILE\n"},
      {{missing.c_str()}, 2, "", "vorlakdump: " + missing + ": cannot open: No such file or directory\n"},
      {{notTrace.c_str()}, 2, "", "vorlakdump: " + notTrace + ": malformed: not a binary trace file (bad magic)\n"},
  };
  for (auto const& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(Vorlak::DumpCommand::run(c.args, out, err), c.status) << err.str();
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}

}  // namespace
