// Route keys: printing, ordering, and their binary-trace form read back by the decoder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "halm/IpGenRouteKeyVorlak.h"
#include "trace/vorlak/Message.h"
#include "trace/vorlak/Reader.h"
#include "trace/vorlak/Vorlak.h"

namespace {

using Routing::Multicast::Fib::IpGenRouteKey;

IpGenRouteKey key(char const* s, char const* g) {
  return IpGenRouteKey(std::string(s) == "*" ? Plix::IpGenPrefix() : Plix::IpGenPrefix::parse(s),
                       Plix::IpGenPrefix::parse(g));
}

TEST(IpGenRouteKey, PrintsAndOrders) {
  struct Case {
    IpGenRouteKey k;
    char const* printed;
    char const* pretty;
  };
  Case const cases[] = {
      {key("10.0.0.1", "239.1.1.1"), "(10.0.0.1/32, 239.1.1.1/32)", "(10.0.0.1, 239.1.1.1)"},
      {key("*", "239.1.1.1"), "(0.0.0.0/0, 239.1.1.1/32)", "(*, 239.1.1.1)"},
      {key("10.0.0.0/8", "239.0.0.0/8"), "(10.0.0.0/8, 239.0.0.0/8)", "(10.0.0.0/8, 239.0.0.0/8)"},
      {key("2001:db8::1", "ff3e::1"), "(2001:db8::1/128, ff3e::1/128)", "(2001:db8::1, ff3e::1)"},
      {key("*", "ff3e::1"), "(::/0, ff3e::1/128)", "(*, ff3e::1)"},
  };
  for (auto const& c : cases) {
    std::ostringstream os;
    os << c.k;
    EXPECT_EQ(os.str(), c.printed);
    EXPECT_EQ(c.k.pretty(), c.pretty);
  }
  EXPECT_TRUE(key("*", "239.1.1.1").isStarG());
  EXPECT_FALSE(IpGenRouteKey::invalidRouteKey().isValid());
  EXPECT_LT(key("10.0.0.9", "239.1.1.1"), key("10.0.0.1", "239.1.1.2")) << "group first";
  EXPECT_THROW(IpGenRouteKey(Plix::IpGenPrefix::parse("10.0.0.1"), Plix::IpGenPrefix::parse("ff3e::1")),
               std::invalid_argument);
}

// Prefixes are equal exactly when family, length and every address byte are; a difference
// in any one of them, in either half of the address, makes them unequal, and equality
// agrees with the ordering.
TEST(IpGenPrefix, EqualExactlyWhenEveryFieldIs) {
  using Plix::IpGenPrefix;
  auto const v4 = Plix::AddressFamily::ipv4;
  auto const v6 = Plix::AddressFamily::ipv6;
  IpGenPrefix::Bytes const a{0x20, 0x01, 0x0d, 0xb8, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  auto const changed = [&](std::size_t byte) {
    IpGenPrefix::Bytes b = a;
    b[byte] ^= 0x40;
    return b;
  };
  struct Case {
    char const* what;
    IpGenPrefix x, y;
    bool equal;
  };
  Case const cases[] = {
      {"the same", IpGenPrefix(v6, a, 128), IpGenPrefix(v6, a, 128), true},
      {"another length", IpGenPrefix(v6, a, 128), IpGenPrefix::unchecked(v6, a, 127), false},
      {"another family", IpGenPrefix::unchecked(v4, a, 32), IpGenPrefix::unchecked(v6, a, 32), false},
      {"the first byte", IpGenPrefix(v6, a, 128), IpGenPrefix(v6, changed(0), 128), false},
      {"the eighth byte", IpGenPrefix(v6, a, 128), IpGenPrefix(v6, changed(7), 128), false},
      {"the ninth byte", IpGenPrefix(v6, a, 128), IpGenPrefix(v6, changed(8), 128), false},
      {"the last byte", IpGenPrefix(v6, a, 128), IpGenPrefix(v6, changed(15), 128), false},
      {"two IPv4 hosts", IpGenPrefix::parse("10.0.0.1"), IpGenPrefix::parse("10.0.0.1"), true},
      {"IPv4 hosts apart", IpGenPrefix::parse("10.0.0.1"), IpGenPrefix::parse("10.0.0.2"), false},
      {"no prefix and 0.0.0.0/0", IpGenPrefix(), IpGenPrefix::parse("0.0.0.0/0"), true},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(c.x == c.y, c.equal) << c.what;
    EXPECT_EQ(c.y == c.x, c.equal) << c.what;
    EXPECT_EQ((c.x <=> c.y) == 0, c.equal) << c.what;
  }
}

TEST(IpGenRouteKey, BinaryTraceRoundTrip) {
  auto dir = std::filesystem::temp_directory_path() / ("kmfib-key-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string const file = (dir / "keys.vk").string();
  Vorlak::initialize(file.c_str(), nullptr, nullptr, 0, 16, 0, true, 8);
  static Vorlak::Message<IpGenRouteKey, std::int32_t> const syncing{1, "Syncing key {} from table {}"};
  syncing.log(key("10.0.0.1", "239.1.1.1"), 3);
  syncing.log(key("*", "ff3e::1"), 4);
  Vorlak::shutdown();
  Vorlak::Reader reader(file);
  ASSERT_EQ(reader.records().size(), 2u);
  EXPECT_EQ(reader.text(reader.records()[0]), "Syncing key (10.0.0.1/32, 239.1.1.1/32) from table 3");
  EXPECT_EQ(reader.text(reader.records()[1]), "Syncing key (::/0, ff3e::1/128) from table 4");
  std::filesystem::remove_all(dir);
}

}  // namespace
