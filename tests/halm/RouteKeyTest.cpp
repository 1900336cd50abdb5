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
