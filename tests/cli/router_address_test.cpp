#include "cli/router_address.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

namespace tralvex::cli {
namespace {

class GoodAddressTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoodAddressTest, HasNoProblem) { EXPECT_EQ(RouterAddressProblem(GetParam()), std::nullopt); }

INSTANTIATE_TEST_SUITE_P(Addresses, GoodAddressTest,
                         ::testing::Values("192.168.1.1", "0.0.0.0", "255.255.255.255",
                                           "127.0.0.1:8080", "10.0.0.1:1", "10.0.0.1:65535",
                                           "10.0.0.1:080", "router", "Router-1.lan",
                                           "tplinklogin.net:80", "1router.example", "a.b2",
                                           std::string(63, 'x'),
                                           std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                               std::string(63, 'c') + "." + std::string(61, 'd')));

struct BadAddress {
    std::string text;
    std::string problemStart;
};

void PrintTo(const BadAddress& c, std::ostream* os) { *os << c.text; }

class BadAddressTest : public ::testing::TestWithParam<BadAddress> {};

TEST_P(BadAddressTest, TellsWhatIsWrong) {
    std::optional<std::string> problem = RouterAddressProblem(GetParam().text);
    ASSERT_TRUE(problem) << GetParam().text;
    EXPECT_EQ(problem->substr(0, GetParam().problemStart.size()), GetParam().problemStart);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, BadAddressTest,
    ::testing::Values(BadAddress{"", "it is empty"}, BadAddress{"256.1.1.1", "a dotted quad"},
                      BadAddress{"1.2.3.4.5", "a dotted quad"},
                      BadAddress{"1.2.3", "a dotted quad"}, BadAddress{"1.2.3.04", "a dotted quad"},
                      BadAddress{"1.2.3.", "a host name"}, BadAddress{"1..2.3", "a dotted quad"},
                      BadAddress{"1.2.3.1000", "a dotted quad"},
                      BadAddress{"8080", "a dotted quad"}, BadAddress{"router.10", "a dotted quad"},
                      BadAddress{"-router", "a host name"}, BadAddress{"router-", "a host name"},
                      BadAddress{".router", "a host name"}, BadAddress{"rou ter", "a host name"},
                      BadAddress{"router/admin", "a host name"},
                      BadAddress{"user@router", "a host name"},
                      BadAddress{std::string(64, 'x'), "a host name"},
                      BadAddress{std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                     std::string(63, 'c') + "." + std::string(62, 'd'),
                                 "a host name has at most 253"},
                      BadAddress{"r\xC2\xA9uter", "a host name"}, BadAddress{"router:", "the port"},
                      BadAddress{"router:0", "the port"}, BadAddress{"router:65536", "the port"},
                      BadAddress{"router:123456", "the port"}, BadAddress{"router:-1", "the port"},
                      BadAddress{"router:+80", "the port"}, BadAddress{"router:8o", "the port"},
                      BadAddress{":80", "there is no host"}, BadAddress{"::1", "IPv6"},
                      BadAddress{"[::1]", "IPv6"}, BadAddress{"a:1:2", "IPv6"}));

}  // namespace
}  // namespace tralvex::cli
