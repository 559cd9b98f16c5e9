#include "quillet/port/devicebuffer.h"

#include "quillet/port/idevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using TransparentPort::DeviceBuffer;
using TransparentPort::IDevice;

namespace {

std::string pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed)) & 0xff);
    return s;
}

// A device with a byte stream to hand out and a sink that takes at most
// `takePerCall` bytes per write.
class FakeDevice : public IDevice {
public:
    bool readable() override { return readPos < source.size(); }
    bool writable() override { return true; }
    int read(char* dst, int len) override
    {
        const int n = std::min(len, static_cast<int>(source.size() - readPos));
        std::copy_n(source.data() + readPos, n, dst);
        readPos += static_cast<size_t>(n);
        return n;
    }
    int write(const char* data, int len) override
    {
        ++writeCalls;
        if (takePerCall == 0)
            return -3;
        const int n = std::min(len, takePerCall);
        sink.append(data, static_cast<size_t>(n));
        return n;
    }
    int available() override
    {
        return availableOverride ? availableOverride : static_cast<int>(source.size() - readPos);
    }

    std::string source;
    size_t readPos = 0;
    std::string sink;
    int takePerCall = 1 << 20;
    int writeCalls = 0;
    int availableOverride = 0;
};

std::string drain(DeviceBuffer& buffer)
{
    std::string out(static_cast<size_t>(buffer.size()), '\0');
    out.resize(static_cast<size_t>(buffer.read(out.data(), static_cast<int>(out.size()))));
    return out;
}

} // namespace

TEST(DeviceBuffer, KeepsTheNewest8192WhenAWriteOverflows)
{
    DeviceBuffer buffer;
    const std::string first = pattern(8000, 1);
    const std::string second = pattern(500, 7);
    EXPECT_EQ(buffer.write(first.data(), 8000), 8000);
    EXPECT_EQ(buffer.write(second.data(), 500), 8192);
    EXPECT_EQ(buffer.size(), 8192);
    EXPECT_EQ(drain(buffer), first.substr(308) + second);
    EXPECT_EQ(buffer.size(), 0);
}

TEST(DeviceBuffer, AWriteOfTheWholeCapacityOrMoreKeepsItsTail)
{
    DeviceBuffer buffer;
    const std::string big = pattern(20000, 3);
    buffer.write("old", 3);
    EXPECT_EQ(buffer.write(big.data(), 20000), 8192);
    EXPECT_EQ(drain(buffer), big.substr(20000 - 8192));
    EXPECT_EQ(buffer.write(nullptr, 5), 0);
    EXPECT_EQ(buffer.write("x", 0), 0);
    EXPECT_EQ(buffer.write("x", -1), 0);
}

TEST(DeviceBuffer, UnreadBytesMoveToTheFrontWhenTheTailIsShort)
{
    DeviceBuffer buffer;
    const std::string a = pattern(6000, 1);
    buffer.write(a.data(), 6000);
    char sink[5000];
    EXPECT_EQ(buffer.read(sink, 5000), 5000);
    const std::string b = pattern(4000, 2);
    EXPECT_EQ(buffer.write(b.data(), 4000), 5000) << "result is the new unread count";
    EXPECT_EQ(drain(buffer), a.substr(5000) + b);
    EXPECT_EQ(buffer.read(nullptr, 10), 0);
    EXPECT_EQ(buffer.read(sink, -1), 0);
}

TEST(DeviceBuffer, ResizeBoundsTheSizeAndDropsUnreadBytes)
{
    DeviceBuffer buffer;
    EXPECT_EQ(buffer.capacity(), 8192);
    buffer.write("abc", 3);
    EXPECT_EQ(buffer.resize(0), 2048);
    EXPECT_EQ(buffer.capacity(), 2048);
    EXPECT_EQ(buffer.size(), 0);
    EXPECT_EQ(buffer.resize(-5), 2048);
    EXPECT_EQ(buffer.resize(10000), 8192);
    EXPECT_EQ(buffer.resize(100), 100);
    const std::string big = pattern(300, 4);
    EXPECT_EQ(buffer.write(big.data(), 300), 100);
    EXPECT_EQ(drain(buffer), big.substr(200));
}

TEST(DeviceBuffer, WriteToADeviceTaking100BytesPerCallKeepsTheOrder)
{
    DeviceBuffer buffer;
    const std::string data = pattern(1050, 9);
    buffer.write(data.data(), 1050);
    FakeDevice device;
    device.takePerCall = 100;
    EXPECT_EQ(buffer.writeTo(&device), 1050);
    EXPECT_EQ(device.sink, data);
    EXPECT_EQ(device.writeCalls, 11);
    EXPECT_EQ(buffer.size(), 0);

    // A device that takes nothing leaves everything for the next call.
    buffer.write(data.data(), 300);
    FakeDevice full;
    full.takePerCall = 0;
    EXPECT_EQ(buffer.writeTo(&full), 0);
    EXPECT_EQ(buffer.size(), 300);
    EXPECT_EQ(buffer.writeTo(&device), 300);
    EXPECT_EQ(device.sink, data + data.substr(0, 300));
}

TEST(DeviceBuffer, ReadFromIntoAFullBufferDropsNothing)
{
    DeviceBuffer buffer;
    FakeDevice source;
    source.source = pattern(20000, 5);
    FakeDevice sink;
    sink.takePerCall = 3000;

    EXPECT_EQ(buffer.readFrom(&source), 8192) << "only what fits";
    EXPECT_EQ(source.readPos, 8192u) << "the rest stays in the device";
    EXPECT_EQ(buffer.readFrom(&source), 0) << "a full buffer takes nothing";
    std::string moved;
    for (int turn = 0; turn < 20 && moved.size() < 20000; ++turn) {
        buffer.readFrom(&source);
        buffer.writeTo(&sink);
        moved = sink.sink;
    }
    EXPECT_EQ(moved, source.source);
}

TEST(DeviceBuffer, ReadFromStopsWhenTheDeviceCountsBelowZero)
{
    DeviceBuffer buffer;
    FakeDevice source;
    source.source = "abc";
    source.availableOverride = -1;
    EXPECT_EQ(buffer.readFrom(&source), 0);
    EXPECT_EQ(source.readPos, 0u);
    EXPECT_EQ(buffer.readFrom(nullptr), 0);
    EXPECT_EQ(buffer.writeTo(nullptr), 0);
}
