// Name limits with the texts operators see, and prefix parsing and printing.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "plix/IntfId.h"
#include "plix/IpGenPrefix.h"
#include "plix/NamespaceName.h"
#include "plix/VrfName.h"

namespace {

template <class Name>
void expectLimit(std::size_t max, char const* text) {
  EXPECT_EQ(Name(std::string(max, 'v')).bytes(), max);
  try {
    Name n(std::string(max + 1, 'v'));
    FAIL() << "a name of " << max + 1 << " bytes must be refused";
  } catch (std::range_error const& e) {
    EXPECT_STREQ(e.what(), text);
  }
}

TEST(Names, LimitsAndTexts) {
  expectLimit<L3::VrfName>(100, "VrfName::bytes > VrfName::maxLength not allowed");
  expectLimit<Plix::NamespaceName>(150, "NamespaceName::bytes > 150 not allowed");
  EXPECT_EQ(Plix::NamespaceName::defaultNamespace(), "default");
  EXPECT_TRUE(L3::VrfName("default").isDefault());
  EXPECT_EQ(Plix::IntfId::null0().name(), "Null0");
  EXPECT_EQ(Plix::IntfId::register0().name(), "Register0");
  EXPECT_TRUE(Plix::IntfId().empty());
  EXPECT_TRUE(Plix::IntfId("").empty());
  EXPECT_EQ(Plix::IntfId("Ethernet1"), Plix::IntfId(std::string("Ethernet") + "1"));
  EXPECT_NE(Plix::IntfId("Ethernet1"), Plix::IntfId("Ethernet2"));
  // Ordering follows the names whatever order they were first seen in.
  Plix::IntfId const z("Zeta9"), a("Alpha9");
  EXPECT_LT(a, z);
  EXPECT_LT(Plix::IntfId(), a);
}

TEST(IpGenPrefix, ParseAndPrint) {
  struct Case {
    char const* text;
    char const* printed;  // nullptr: refused
    Plix::AddressFamily af;
  };
  using AF = Plix::AddressFamily;
  Case const cases[] = {
      {"10.0.0.0/8", "10.0.0.0/8", AF::ipv4},
      {"239.1.1.1", "239.1.1.1/32", AF::ipv4},
      {"0.0.0.0/0", "0.0.0.0/0", AF::ipv4},
      {"10.1.2.3/31", nullptr, AF::ipv4},  // host bit set
      {"10.0.0.0/33", nullptr, AF::ipv4},
      {"10.0.0/8", nullptr, AF::ipv4},
      {"10.0.0.0/", nullptr, AF::ipv4},
      {"10.0.0.0/8x", nullptr, AF::ipv4},
      {"ff3e::1", "ff3e::1/128", AF::ipv6},
      {"ff3e::/16", "ff3e::/16", AF::ipv6},
      {"2001:db8::/32", "2001:db8::/32", AF::ipv6},
      {"2001:db8::1/64", nullptr, AF::ipv6},
      {"::/0", "::/0", AF::ipv6},
      {"::/129", nullptr, AF::ipv6},
      {"*", nullptr, AF::ipv4},
  };
  for (auto const& c : cases) {
    if (!c.printed) {
      EXPECT_THROW(Plix::IpGenPrefix::parse(c.text), std::invalid_argument) << c.text;
      continue;
    }
    auto p = Plix::IpGenPrefix::parse(c.text);
    EXPECT_EQ(p.str(), c.printed) << c.text;
    EXPECT_EQ(p.af(), c.af) << c.text;
    EXPECT_EQ(Plix::IpGenPrefix::parse(p.str()), p) << "round trip of " << c.text;
  }
  try {
    Plix::IpGenPrefix::parse("10.1.2.3/8");
  } catch (std::invalid_argument const& e) {
    EXPECT_STREQ(e.what(), "bad prefix '10.1.2.3/8': host bits set beyond the prefix length");
  }
  auto g = Plix::IpGenPrefix::parse("239.1.2.3");
  EXPECT_EQ(g.address()[0], 239);
  EXPECT_EQ(g.address()[3], 3);
  EXPECT_EQ(g.address()[4], 0);
  EXPECT_EQ(Plix::IpGenPrefix(), Plix::IpGenPrefix::parse("0.0.0.0/0"));
}

TEST(IpGenPrefix, RefusesEveryBitPastTheLength) {
  // One bit set at a time, for every length of both families: refused exactly when the
  // bit lies at or past the length (for IPv4 that takes in bytes 4 to 15), and a refusal
  // names the prefix.
  using AF = Plix::AddressFamily;
  for (AF af : {AF::ipv4, AF::ipv6}) {
    unsigned const maxLen = af == AF::ipv6 ? 128 : 32;
    for (unsigned len = 0; len <= maxLen; ++len) {
      for (unsigned bit = 0; bit < 128; ++bit) {
        Plix::IpGenPrefix::Bytes b{};
        b[bit / 8] = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        bool const refused = bit >= len;
        bool threw = false;
        try {
          Plix::IpGenPrefix const p(af, b, static_cast<std::uint8_t>(len));
          EXPECT_EQ(p.address(), b);
        } catch (std::invalid_argument const& e) {
          threw = true;
          EXPECT_NE(std::string(e.what()).find("host bits set beyond the prefix length"), std::string::npos);
        }
        EXPECT_EQ(threw, refused) << (af == AF::ipv6 ? "IPv6" : "IPv4") << " length " << len << ", bit " << bit;
      }
    }
  }
}

}  // namespace
