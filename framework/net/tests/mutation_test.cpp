// Hostile bytes: valid frames and typed values, mutated by a seeded
// generator (bytes flipped, length words changed, cut short, junk appended),
// go through frame reassembly and every reader. Nothing may crash, and
// nothing may allocate beyond a bounded step over the bytes that arrived.

#include "framework/net/exception.h"
#include "framework/net/framereader.h"
#include "framework/net/netbuffer.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpsocket.h"
#include "framework/utils/serialize.h"
#include "testing/loopbacksocket/loopbacksocket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <random>

using FF::Net::NetBuffer;
using FF::utils::Deserialize;
using FF::utils::Serialize;
using FF::utils::String;

namespace {

constexpr std::uint32_t kSeed = 20261209;
constexpr int kCases = 100000;

using Bytes = std::vector<std::uint8_t>;

template <class T>
void appendTyped(NetBuffer& buffer, const T& value)
{
    Serialize(&buffer, String(FF::utils::TypeName<T>::value));
    Serialize(&buffer, value);
}

Bytes bytesOf(NetBuffer& buffer)
{
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

// Valid bodies shaped like the framework's messages: a call header and
// typed values, replies, control messages.
std::vector<Bytes> seedBodies()
{
    std::vector<Bytes> seeds;
    {
        NetBuffer call;
        Serialize(&call, 0xAAAAAAA0u);
        Serialize(&call, 17u);
        Serialize(&call, 3u);
        Serialize(&call, String("GetSysInfo"));
        Serialize(&call, 4u);
        appendTyped(call, String("/storage/user_dir"));
        appendTyped(call, std::vector<FF::byte>(64, 0x5A));
        appendTyped(call, std::vector<std::string>{"a", "bb", "ccc"});
        appendTyped(call, std::pair<String, String>("k", "v"));
        seeds.push_back(bytesOf(call));
    }
    {
        NetBuffer reply;
        Serialize(&reply, 0xAAAAAAA0u);
        Serialize(&reply, 17u);
        Serialize(&reply, 3u);
        Serialize(&reply, 0u);
        appendTyped(reply, -5);
        appendTyped(reply, 123456789012345ull);
        appendTyped(reply, std::vector<std::pair<std::string, int>>{{"x", 1}, {"yy", 2}});
        appendTyped(reply, FF::Handle(9));
        appendTyped(reply, true);
        seeds.push_back(bytesOf(reply));
    }
    {
        NetBuffer init;
        Serialize(&init, 0xAAAAAAA3u);
        Serialize(&init, String("client-key-0001"));
        seeds.push_back(bytesOf(init));
        NetBuffer ping;
        Serialize(&ping, 0xAAAAAAA1u);
        seeds.push_back(bytesOf(ping));
    }
    return seeds;
}

Bytes mutate(Bytes bytes, std::mt19937& random)
{
    const int steps = 1 + static_cast<int>(random() % 3);
    for (int s = 0; s < steps; ++s) {
        switch (random() % 5) {
        case 0: // flip bits
            if (!bytes.empty())
                bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 1: // random byte
            if (!bytes.empty())
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            break;
        case 2: { // a length word changed: small, near the rest, or huge
            if (bytes.size() < 4)
                break;
            const std::size_t at = random() % (bytes.size() - 3);
            const std::uint32_t choices[] = {
                0u,          1u,         static_cast<std::uint32_t>(bytes.size()), static_cast<std::uint32_t>(random()),
                0xFFFFFFFFu, 0x7FFFFFFFu};
            const std::uint32_t word = choices[random() % 6];
            for (int i = 0; i < 4; ++i)
                bytes[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
            break;
        }
        case 3: // cut short
            bytes.resize(random() % (bytes.size() + 1));
            break;
        case 4: // junk appended
            for (int n = static_cast<int>(random() % 16); n > 0; --n)
                bytes.push_back(static_cast<std::uint8_t>(random()));
            break;
        }
    }
    return bytes;
}

// Runs every reader over the bytes from each start position a stub could
// meet; each result must stay within the bytes present.
void readEverything(const Bytes& bytes)
{
    NetBuffer buffer;
    if (!bytes.empty())
        buffer.write(bytes.data(), bytes.size());
    const std::uint64_t present = bytes.size();
    for (std::uint64_t start = 0; start < present; start += 4) {
        buffer.setReadPos(start);
        String text;
        if (Deserialize(&buffer, text)) {
            ASSERT_LE(text.size(), present);
        }
        buffer.setReadPos(start);
        std::vector<FF::byte> block;
        Deserialize(&buffer, block);
        ASSERT_LE(block.capacity(), present);
        buffer.setReadPos(start);
        std::vector<std::string> strings;
        Deserialize(&buffer, strings);
        ASSERT_LE(strings.size(), present / 4 + 1);
        buffer.setReadPos(start);
        std::vector<String> framework;
        Deserialize(&buffer, framework);
        ASSERT_LE(framework.size(), present / 4 + 1);
        buffer.setReadPos(start);
        std::vector<std::pair<std::string, int>> pairs;
        Deserialize(&buffer, pairs);
        ASSERT_LE(pairs.size(), present / 8 + 1);
        buffer.setReadPos(start);
        std::pair<String, String> pair;
        Deserialize(&buffer, pair);
        buffer.setReadPos(start);
        long long wide = 0;
        bool flag = false;
        FF::Handle handle;
        Deserialize(&buffer, wide);
        Deserialize(&buffer, flag);
        Deserialize(&buffer, handle);
        ASSERT_LE(buffer.readPos(), present);
    }
}

class StreamControl : public FF::Net::IReceiveControl {
public:
    void markStopped() override { stopped = true; }
    bool afterReceive(std::size_t) override { return !stopped; }
    FF::Net::Address peerAddress() const override { return FF::Net::Address("127.10.0.2", 1u); }
    bool stopped = false;
};

// Standard output off while thousands of illegal headers print their peer.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        m_saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(m_saved, 1);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
};

} // namespace

TEST(HostileBytes, MutatedFramesAndValuesNeverCrashOrOverAllocate)
{
    std::mt19937 random(kSeed);
    const std::vector<Bytes> seeds = seedBodies();
    int framesReceived = 0;
    int illegalHeaders = 0;
    QuietStdout quiet;
    for (int n = 0; n < kCases; ++n) {
        const Bytes& seed = seeds[random() % seeds.size()];
        // Half the cases mutate the typed values only, half the whole frame.
        const bool wholeFrame = (n % 2) == 1;
        const Bytes body = wholeFrame ? seed : mutate(seed, random);
        const Bytes wire = wholeFrame ? mutate(testpeer::frame(body), random) : testpeer::frame(body);

        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        testpeer::Fd reader(fds[0]);
        {
            testpeer::Fd writer(fds[1]);
            ASSERT_TRUE(wire.empty() || testpeer::sendBytes(writer.get(), wire));
        }
        StreamControl control;
        NetBuffer message;
        bool received = false;
        // Every fourth case through a small read-ahead block, so that the
        // frames that do not fit in it are read straight into their message.
        FF::Net::FrameReader frames(n % 4 == 0 ? 64 : FF::Net::kReadAheadSize);
        try {
            received = frames.receiveMessage(reader.get(), message, control);
        } catch (const FF::Net::Exception& e) {
            ASSERT_EQ(e.info(), "illegal connection");
            ASSERT_TRUE(control.stopped);
            ++illegalHeaders;
            continue;
        }
        ASSERT_LE(message.capacity(), std::max<std::uint64_t>(FF::Net::kReceiveChunk, 2 * wire.size()));
        if (!received)
            continue;
        ++framesReceived;
        ASSERT_LE(message.size() + 8, wire.size());
        ASSERT_EQ(message.readPos(), 0u);
        readEverything(Bytes(message.data(), message.data() + message.size()));
    }
    // The generator must have exercised all three outcomes.
    EXPECT_GT(framesReceived, kCases / 4);
    EXPECT_GT(illegalHeaders, kCases / 50);
}
