#include "framework/utils/serialize.h"

#include "framework/net/netbuffer.h"
#include "framework/utils/pack.h"

#include <gtest/gtest.h>

#include <cstring>

using FF::Net::NetBuffer;
using FF::utils::Deserialize;
using FF::utils::Serialize;
using FF::utils::String;
using FF::utils::TypeName;

namespace {

template <class T>
void writeTyped(NetBuffer& buffer, const T& value)
{
    Serialize(&buffer, String(TypeName<T>::value));
    Serialize(&buffer, value);
}

template <class T>
T readTyped(NetBuffer& buffer, const char* expectedName)
{
    String name;
    EXPECT_TRUE(Deserialize(&buffer, name));
    EXPECT_EQ(name, expectedName);
    T value{};
    EXPECT_TRUE(Deserialize(&buffer, value));
    return value;
}

std::vector<FF::byte> bytesOf(NetBuffer& buffer)
{
    return std::vector<FF::byte>(buffer.data(), buffer.data() + buffer.size());
}

} // namespace

TEST(TypedValues, EveryTypeNameRoundTrips)
{
    using Pairs = std::vector<std::pair<std::string, int>>;
    NetBuffer buffer;
    writeTyped(buffer, 0xDEADBEEFu);
    writeTyped(buffer, -7);
    writeTyped(buffer, true);
    writeTyped(buffer, -5000000000ll);
    writeTyped(buffer, 18000000000000000000ull);
    writeTyped(buffer, String("\xe4\xb8\xad text"));
    writeTyped(buffer, FF::Handle(0x01020304u));
    writeTyped(buffer, std::vector<FF::byte>{0, 1, 255});
    writeTyped(buffer, std::vector<String>{"a", "", "ccc"});
    writeTyped(buffer, std::vector<std::string>{"x", "yy"});
    writeTyped(buffer, Pairs{{"one", 1}, {"minus", -1}});
    writeTyped(buffer, std::pair<String, String>("key", "value"));

    EXPECT_EQ(readTyped<unsigned int>(buffer, "unsigned int"), 0xDEADBEEFu);
    EXPECT_EQ(readTyped<int>(buffer, "int"), -7);
    EXPECT_EQ(readTyped<bool>(buffer, "bool"), true);
    EXPECT_EQ(readTyped<long long>(buffer, "long long"), -5000000000ll);
    EXPECT_EQ(readTyped<unsigned long long>(buffer, "unsigned long long"), 18000000000000000000ull);
    EXPECT_EQ(readTyped<String>(buffer, "FF::utils::String"), "\xe4\xb8\xad text");
    EXPECT_EQ(readTyped<FF::Handle>(buffer, "FF::Handle"), FF::Handle(0x01020304u));
    EXPECT_EQ(readTyped<std::vector<FF::byte>>(buffer, "std::vector<FF::byte>"), (std::vector<FF::byte>{0, 1, 255}));
    EXPECT_EQ(readTyped<std::vector<String>>(buffer, "std::vector<FF::String>"), (std::vector<String>{"a", "", "ccc"}));
    EXPECT_EQ(readTyped<std::vector<std::string>>(buffer, "std::vector<std::string>"),
              (std::vector<std::string>{"x", "yy"}));
    EXPECT_EQ(readTyped<Pairs>(buffer, "std::vector<std::pair<std::string, int>>"), (Pairs{{"one", 1}, {"minus", -1}}));
    EXPECT_EQ((readTyped<std::pair<String, String>>(buffer, "std::pair<FF::String, FF::String>")),
              (std::pair<String, String>("key", "value")));
    EXPECT_EQ(buffer.remaining(), 0u);
}

TEST(TypedValues, WireFormIsLittleEndianWithoutTerminators)
{
    NetBuffer buffer;
    Serialize(&buffer, 0x01020304u);
    Serialize(&buffer, true);
    Serialize(&buffer, String("ab"));
    Serialize(&buffer, std::vector<FF::byte>{9});
    Serialize(&buffer, 0x0102030405060708ll);
    const std::vector<FF::byte> expected = {4, 3, 2, 1, 1, 2, 0, 0, 0, 'a', 'b', 1, 0, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(bytesOf(buffer), expected);
}

TEST(TypedValues, FixedWidthAliasesUseTheLongLongForms)
{
    NetBuffer buffer;
    writeTyped(buffer, std::uint64_t(0x1122334455667788ull));
    writeTyped(buffer, std::int64_t(-2));
    writeTyped(buffer, std::uint32_t(7));
    EXPECT_EQ(readTyped<unsigned long long>(buffer, "unsigned long long"), 0x1122334455667788ull);
    EXPECT_EQ(readTyped<long long>(buffer, "long long"), -2ll);
    EXPECT_EQ(readTyped<unsigned int>(buffer, "unsigned int"), 7u);
}

TEST(TypedValues, ShortIntegersFailWithoutMoving)
{
    NetBuffer buffer;
    buffer.write("\x01\x02\x03", 3);
    unsigned int u = 77;
    EXPECT_FALSE(Deserialize(&buffer, u));
    EXPECT_EQ(u, 77u);
    EXPECT_EQ(buffer.readPos(), 0u);
    long long ll = 0;
    EXPECT_FALSE(Deserialize(&buffer, ll));
    NetBuffer empty;
    bool flag = false;
    EXPECT_FALSE(Deserialize(&empty, flag));
}

TEST(TypedValues, StringLongerThanTheRestConsumesOnlyItsLengthWord)
{
    NetBuffer buffer;
    std::vector<FF::byte> bytes = {10, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f'};
    buffer.write(bytes.data(), bytes.size());
    String text("unchanged");
    EXPECT_FALSE(text.deserialize(&buffer));
    EXPECT_EQ(buffer.readPos(), 4u);
    EXPECT_EQ(text, "unchanged");
    buffer.setReadPos(0);
    std::string plain("unchanged");
    EXPECT_FALSE(Deserialize(&buffer, plain));
    EXPECT_EQ(plain, "unchanged");
}

TEST(TypedValues, StringEndsAtItsFirstZeroByte)
{
    NetBuffer buffer;
    std::vector<FF::byte> bytes = {5, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 1, 0, 0, 0, 'z'};
    buffer.write(bytes.data(), bytes.size());
    String text;
    EXPECT_TRUE(text.deserialize(&buffer));
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(buffer.readPos(), 9u);
    std::string next;
    EXPECT_TRUE(Deserialize(&buffer, next));
    EXPECT_EQ(next, "z");
}

TEST(TypedValues, StringVectorsKeepWhatWasReadBeforeAShortElement)
{
    NetBuffer zero;
    Serialize(&zero, 0u);
    std::vector<std::string> list{"old"};
    EXPECT_TRUE(Deserialize(&zero, list));
    EXPECT_TRUE(list.empty());

    NetBuffer cut;
    Serialize(&cut, 3u);
    Serialize(&cut, std::string("first"));
    Serialize(&cut, 8u);
    cut.write("sec", 3);
    std::vector<String> strings;
    EXPECT_FALSE(Deserialize(&cut, strings));
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0], "first");

    NetBuffer noCount;
    noCount.write("\x01\x00", 2);
    list = {"kept"};
    EXPECT_FALSE(Deserialize(&noCount, list));
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST(TypedValues, PairsFailOnEitherHalf)
{
    NetBuffer buffer;
    Serialize(&buffer, 2u);
    Serialize(&buffer, std::string("one"));
    Serialize(&buffer, 1);
    Serialize(&buffer, std::string("two"));
    buffer.write("\x02\x00", 2);
    std::vector<std::pair<std::string, int>> pairs;
    EXPECT_FALSE(Deserialize(&buffer, pairs));
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].second, 1);

    NetBuffer half;
    Serialize(&half, String("first"));
    std::pair<String, String> both;
    EXPECT_FALSE(Deserialize(&half, both));
    EXPECT_EQ(both.first, "first");
}

TEST(TypedValues, HostileLengthWordsAllocateNothing)
{
    NetBuffer buffer;
    Serialize(&buffer, 0xFFFFFFF0u);
    buffer.write("abcd", 4);

    std::vector<FF::byte> block;
    EXPECT_FALSE(Deserialize(&buffer, block));
    EXPECT_EQ(block.capacity(), 0u);

    buffer.setReadPos(0);
    String text;
    EXPECT_FALSE(Deserialize(&buffer, text));
    EXPECT_TRUE(text.empty());

    // A huge element count is read element by element, never reserved.
    buffer.setReadPos(0);
    std::vector<std::string> list;
    EXPECT_FALSE(Deserialize(&buffer, list));
    EXPECT_LE(list.capacity(), 1u);
}
