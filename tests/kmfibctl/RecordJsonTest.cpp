#include <gtest/gtest.h>

#include <string>

#include "tools/kmfibctl/RecordJson.h"

namespace {

using Kmfibctl::RecordJson;

struct Case {
  char const* name;
  char const* record;
  char const* json;
};

class RecordJsonCase : public testing::TestWithParam<Case> {};

TEST_P(RecordJsonCase, KeepsTheKeysWithNumbersAsNumbersAndListsAsArrays) {
  EXPECT_EQ(RecordJson::object(GetParam().record), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordJsonCase,
    testing::Values(
        Case{
            "Netns", "netns ns=default socket=open mrt=on pim=on unresolved-entries=10 unresolved-buffers=3",
            R"({"kind":"netns","ns":"default","socket":"open","mrt":"on","pim":"on","unresolved-entries":10,"unresolved-buffers":3})"},
        Case{"Vif", "vif ns=ns1 af=6 index=2 ifindex=12 flags=use-ifindex threshold=1",
             R"({"kind":"vif","ns":"ns1","af":6,"index":2,"ifindex":12,"flags":"use-ifindex","threshold":1})"},
        Case{"MfcWithOifs", "mfc ns=default af=4 source=10.0.0.1 group=239.1.1.1 iif=1 oifs=2,3",
             R"({"kind":"mfc","ns":"default","af":4,"source":"10.0.0.1","group":"239.1.1.1","iif":1,"oifs":[2,3]})"},
        Case{"MfcWithoutOifs", "mfc ns=default af=6 source=2001:db8::1 group=ff3e::1 iif=65535 oifs=-",
             R"({"kind":"mfc","ns":"default","af":6,"source":"2001:db8::1","group":"ff3e::1","iif":65535,"oifs":[]})"},
        Case{"StatusKeepsItsOwnKind", "status vrf=10 kind=config intf=Ethernet1 vif=1",
             R"({"vrf":"10","kind":"config","intf":"Ethernet1","vif":1})"},
        Case{
            "MrouteNamesStayStrings",
            "mroute vrf=red source=* group=239.1.1.1 table=t1 iif=Ethernet1 oifs=Ethernet2,7 kernel=match",
            R"({"kind":"mroute","vrf":"red","source":"*","group":"239.1.1.1","table":"t1","iif":"Ethernet1","oifs":["Ethernet2","7"],"kernel":"match"})"},
        Case{"AuditDecimals", "audit vrf=default every=0.5 runs=2 added=0 replaced=1 removed=0 vifs=0",
             R"({"kind":"audit","vrf":"default","every":0.5,"runs":2,"added":0,"replaced":1,"removed":0,"vifs":0})"},
        Case{"Escapes", "machine vrf=a\"b\\c ns=x", R"({"kind":"machine","vrf":"a\"b\\c","ns":"x"})"}),
    [](auto const& info) { return std::string(info.param.name); });

TEST(RecordJsonTest, AnArrayPerShow) {
  EXPECT_EQ(RecordJson::array({}), "[]\n");
  EXPECT_EQ(RecordJson::array({"machine vrf=a ns=b", "machine vrf=c ns=d"}),
            "[\n  {\"kind\":\"machine\",\"vrf\":\"a\",\"ns\":\"b\"},\n  "
            "{\"kind\":\"machine\",\"vrf\":\"c\",\"ns\":\"d\"}\n]\n");
}

}  // namespace
