#include "framework/net/address.h"

#include "framework/net/tests/failuretext.h"

#include <gtest/gtest.h>

#include <cstring>

using FF::Net::Address;

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
    for (const char* text : {"192.168.1", "1.2.3.4.5", static_cast<const char*>(nullptr), ""})
        EXPECT_EQ(failureOf([&] { Address(text, 1u); }), "Address.Address/format error") << (text ? text : "null");
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
