#include "framework/net/address.h"

#include "framework/net/exception.h"

#include <gtest/gtest.h>

#include <cstring>

using FF::Net::Address;

namespace {

std::string formatError(const char* text)
{
    try {
        Address address(text, 1u);
    } catch (const FF::Net::Exception& e) {
        return e.where() + "/" + e.info();
    }
    return "no exception";
}

} // namespace

TEST(Address, DottedTextAndPortGiveTheBytesInTextOrder)
{
    const Address address("192.168.1.10", 9009u);
    const std::uint8_t expected[4] = {192, 168, 1, 10};
    EXPECT_EQ(std::memcmp(address.bytes(), expected, 4), 0);
    EXPECT_EQ(address.port(), 9009u);
    EXPECT_EQ(address.toString(), "192.168.1.10:9009");
    EXPECT_EQ(Address().toString(), "0.0.0.0:0");
}

TEST(Address, OnlyFourPartsAreAccepted)
{
    EXPECT_EQ(formatError("192.168.1"), "Address.Address/format error");
    EXPECT_EQ(formatError("1.2.3.4.5"), "Address.Address/format error");
    EXPECT_EQ(formatError(nullptr), "Address.Address/format error");
    EXPECT_EQ(formatError(""), "Address.Address/format error");
    EXPECT_EQ(Address("1..2.3", 1u).toString(), "1.0.2.3:1");
    EXPECT_EQ(Address("1.2.3.", 1u).toString(), "1.2.3.0:1");
    // Parts convert like atoi and keep their low 8 bits.
    EXPECT_EQ(Address(" 7.300.x.-1", 2u).toString(), "7.44.0.255:2");
}

TEST(Address, TextWithColonCarriesThePort)
{
    EXPECT_EQ(Address("10.0.0.7:9059"), Address("10.0.0.7", 9059u));
    EXPECT_EQ(Address("10.0.0.7").port(), 0u);
}

TEST(Address, EqualityNeedsBytesAndPort)
{
    EXPECT_NE(Address("10.0.0.7", 9009u), Address("10.0.0.7", 9059u));
    EXPECT_NE(Address("10.0.0.7", 9009u), Address("10.0.0.8", 9009u));
    EXPECT_EQ(Address("10.0.0.7", 9009u), Address("10.0.0.7", 9009u));
}

TEST(Address, WordFormPutsTheBytesLowAndThePortHigh)
{
    const Address address("1.2.3.4", 0x2331u);
    EXPECT_EQ(address.toWord(), 0x0000233104030201ull);
    EXPECT_EQ(Address::fromWord(address.toWord()), address);
}

TEST(Exception, CarriesWhereAndWhat)
{
    const FF::Net::Exception e("Proxy.sync", "NoRegisteredFunction");
    EXPECT_EQ(e.info(), "NoRegisteredFunction");
    EXPECT_EQ(e.where(), "Proxy.sync");
}
