// The MD5 that proves each file is made as its bytes pass, also for a
// resumed file, and is exactly the panel's: a file fresh or resumed, sent
// or fetched, arrives in one attempt, and a panel digest one bit off is
// caught. Progress comes a few times a second, its last state always.
#include "brellfin/service/runningmd5.h"

#include "brellfin/service/md5state.h"

#include "recordingnotify.h"
#include "servicetestbed.h"

#include <QCryptographicHash>
#include <QElapsedTimer>

#include <array>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using Event = RecordingNotify::Event;

const std::string kRemote = "/storage/user_dir/digest.bin";
// Over four digest blocks, and no whole number of pieces.
constexpr size_t kSize = 1024 * 1024 + 3 * 4096 + 123;

std::vector<uint8_t> md5Of(const std::vector<uint8_t>& bytes)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())),
        QCryptographicHash::Md5);
    return std::vector<uint8_t>(digest.begin(), digest.end());
}

class TransferDigests : public ServiceTestBed {
protected:
    void SetUp() override
    {
        ServiceTestBed::SetUp();
        m_bytes = patternBytes(kSize, 7);
        m_local = localFile("digest.bin");
    }

    // Runs one batch to its end, to the panel or from it; the time it took in ms.
    qint64 run(bool toPanel, RecordingNotify& notify)
    {
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(toPanel ? m_client.startSendToPanel({{m_local, kRemote}}, &notify)
                            : m_client.startFetchFromPanel({{kRemote, m_local}}, &notify));
        EXPECT_TRUE(notify.waitForEnd());
        return clock.elapsed();
    }
    qint64 send(RecordingNotify& notify) { return run(true, notify); }
    qint64 fetch(RecordingNotify& notify) { return run(false, notify); }
    // Succeeded in one attempt: the first digest made on the PC was the panel's.
    void expectOneAttempt(const RecordingNotify& notify, const char* create)
    {
        EXPECT_TRUE(notify.succeeded());
        EXPECT_EQ(m_panel.count(create), 1u) << "a second attempt: the first digest differed";
        EXPECT_EQ(m_panel.count("getFileMD5"), 1u);
    }
    static void expectCoalescedProgress(const RecordingNotify& notify, qint64 elapsedMs)
    {
        const auto progress = notify.progress();
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.back(), 1.0);
        for (size_t i = 1; i < progress.size(); ++i)
            EXPECT_GT(progress[i], progress[i - 1]);
        // One report per 50 ms at most, besides the first and the last.
        EXPECT_LE(qint64(progress.size()), 3 + elapsedMs / 50) << elapsedMs << " ms";
    }

    std::vector<uint8_t> m_bytes;
    std::string m_local;
};

TEST(RunningMd5, AnyCuttingOfTheStreamGivesItsMd5)
{
    const auto bytes = patternBytes(3 * 256 * 1024 + 5000, 3);
    RunningMd5 md5;
    for (size_t step : {size_t(1), size_t(4096), size_t(77777), bytes.size()}) {
        md5.reset();
        for (size_t at = 0; at < bytes.size(); at += step)
            md5.add(bytes.data() + at, std::min(step, bytes.size() - at));
        EXPECT_EQ(md5.size(), bytes.size());
        EXPECT_EQ(md5.result(), md5Of(bytes)) << step;
    }
    // A stream started anew forgets the last; an empty one is MD5 of nothing.
    md5.reset();
    EXPECT_EQ(md5.result(), md5Of({}));
    md5.add(bytes.data(), 10);
    EXPECT_EQ(md5.result(), md5Of(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10)));
}

std::string hexOf(const std::array<uint8_t, 16>& digest)
{
    return QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex().toStdString();
}

TEST(Md5State, KnownDigestsAndEveryPaddingBoundary)
{
    // The test suite of the MD5 definition.
    const std::pair<std::string, std::string> known[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : known) {
        Md5State md5;
        md5.add(text.data(), text.size());
        EXPECT_EQ(hexOf(md5.result()), digest) << text;
    }
    // Around the 56 bytes where the length no longer fits the last block,
    // fed in two parts that split a block anywhere.
    const auto bytes = patternBytes(300, 5);
    for (size_t length = 0; length <= 200; ++length) {
        Md5State md5;
        md5.add(bytes.data(), length / 3);
        md5.add(bytes.data() + length / 3, length - length / 3);
        const auto digest = md5.result();
        EXPECT_EQ(std::vector<uint8_t>(digest.begin(), digest.end()),
                  md5Of(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)))
            << length;
    }
}

TEST(Md5State, ACopyGoesOnAsAStreamOfItsOwn)
{
    const auto bytes = patternBytes(1000, 6);
    Md5State first;
    first.add(bytes.data(), 100);
    Md5State second = first;
    first.add(bytes.data() + 100, 900);
    second.add(bytes.data() + 100, 50);
    EXPECT_EQ(hexOf(first.result()), hexOf([&] {
                  Md5State whole;
                  whole.add(bytes.data(), 1000);
                  return whole.result();
              }()));
    const auto digest = second.result();
    EXPECT_EQ(std::vector<uint8_t>(digest.begin(), digest.end()),
              md5Of(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 150)));
    // Asking for the digest leaves the stream as it was.
    EXPECT_EQ(hexOf(second.result()), hexOf(digest));
}

TEST(RunningMd5, DigestsTakenMidStreamAndResetsWhileTheWorkerHashes)
{
    // Forty digest blocks in pieces of changing sizes, the digest taken
    // after every seventh piece with the stream going on afterwards; the
    // pieces are hashed here as well, which leaves the worker room to take
    // blocks, so that the stream passes to the worker and back along the way.
    const auto bytes = patternBytes(40 * 256 * 1024 + 777, 8);
    const size_t sizes[] = {4096, 4096, 1, 8191, 70000, 4096};
    RunningMd5 md5;
    for (int stream = 0; stream < 3; ++stream) {
        md5.reset();
        QCryptographicHash expected(QCryptographicHash::Md5);
        size_t at = 0;
        for (size_t piece = 0; at < bytes.size(); ++piece) {
            const size_t n = std::min(sizes[piece % std::size(sizes)], bytes.size() - at);
            md5.add(bytes.data() + at, n);
            expected.addData(reinterpret_cast<const char*>(bytes.data() + at), int(n));
            at += n;
            if (piece % 7 == 6 || at == bytes.size()) {
                const QByteArray digest = expected.result();
                ASSERT_EQ(md5.size(), at);
                ASSERT_EQ(md5.result(), std::vector<uint8_t>(digest.begin(), digest.end())) << stream << " " << at;
            }
            // The second stream is left halfway, blocks still queued.
            if (stream == 1 && at >= bytes.size() / 2)
                break;
        }
    }
    md5.reset();
    EXPECT_EQ(md5.result(), md5Of({}));
}

TEST(RunningMd5, PiecesHashedAtOnceAmongOthersKeepTheStreamsOrder)
{
    // Pieces hashed on the spot (addNow) between pieces gathered into blocks
    // for the worker: the stream is taken back from the worker, mid-block
    // and with blocks queued, and goes on in order.
    const auto bytes = patternBytes(12 * 256 * 1024 + 999, 5);
    const size_t sizes[] = {4096, 300000, 1, 4096, 70000, 4096, 4096};
    RunningMd5 md5;
    for (int stream = 0; stream < 2; ++stream) {
        md5.reset();
        QCryptographicHash expected(QCryptographicHash::Md5);
        size_t at = 0;
        for (size_t piece = 0; at < bytes.size(); ++piece) {
            const size_t n = std::min(sizes[piece % std::size(sizes)], bytes.size() - at);
            if ((piece + size_t(stream)) % 3 == 0)
                md5.addNow(bytes.data() + at, n);
            else
                md5.add(bytes.data() + at, n);
            expected.addData(reinterpret_cast<const char*>(bytes.data() + at), int(n));
            at += n;
            if (piece % 5 == 4 || at == bytes.size()) {
                const QByteArray digest = expected.result();
                ASSERT_EQ(md5.size(), at);
                ASSERT_EQ(md5.result(), std::vector<uint8_t>(digest.begin(), digest.end())) << stream << " " << at;
            }
        }
    }
}

TEST_F(TransferDigests, FreshFilesSentAndFetchedCarryThePanelsDigest)
{
    writeLocal(m_local, m_bytes);
    RecordingNotify sent;
    expectCoalescedProgress(sent, send(sent));
    expectOneAttempt(sent, "createDownloader2");
    EXPECT_EQ(m_panel.fileBytes(kRemote), m_bytes);

    QFile::remove(QString::fromStdString(m_local));
    m_panel.clearLog();
    RecordingNotify fetched;
    expectCoalescedProgress(fetched, fetch(fetched));
    expectOneAttempt(fetched, "createUpdater2");
    EXPECT_EQ(readLocal(m_local), m_bytes);
}

TEST_F(TransferDigests, ResumedFilesSentAndFetchedCarryThePanelsDigest)
{
    // The panel holds a first part that is no whole number of pieces.
    writeLocal(m_local, m_bytes);
    m_panel.putFile(kRemote, std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + 600001));
    RecordingNotify sent;
    send(sent);
    expectOneAttempt(sent, "createDownloader2");
    EXPECT_EQ(numbersOf("download2", 1).front(), 600001u);
    EXPECT_EQ(m_panel.fileBytes(kRemote), m_bytes);

    // The PC holds a first part: resumed at its last whole block.
    writeLocal(m_local, std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + 700000));
    m_panel.clearLog();
    RecordingNotify fetched;
    fetch(fetched);
    expectOneAttempt(fetched, "createUpdater2");
    EXPECT_EQ(numbersOf("update2", 1).front(), 700000u - 700000u % 4096);
    EXPECT_EQ(readLocal(m_local), m_bytes);
}

TEST_F(TransferDigests, APanelDigestOneBitOffIsCaughtEachWay)
{
    auto wrong = md5Of(m_bytes);
    wrong[15] ^= 1;
    m_panel.setMd5Answer(wrong);

    writeLocal(m_local, m_bytes);
    m_panel.putFile(kRemote, std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + 600001));
    RecordingNotify sent;
    send(sent);
    EXPECT_EQ(sent.failureCode(), 2);

    writeLocal(m_local, std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + 700000));
    RecordingNotify fetched;
    fetch(fetched);
    EXPECT_EQ(fetched.failureCode(), 2);
}

class ResumeAfterPanelStop : public TransferDigests, public ::testing::WithParamInterface<bool> {
protected:
    bool fromPanel() const { return GetParam(); }
    const char* pieceMethod() const { return fromPanel() ? "update2" : "download2"; }
    const char* createMethod() const { return fromPanel() ? "createUpdater2" : "createDownloader2"; }
    void start(RecordingNotify& notify)
    {
        if (fromPanel())
            ASSERT_TRUE(m_client.startFetchFromPanel({{kRemote, m_local}}, &notify));
        else
            ASSERT_TRUE(m_client.startSendToPanel({{m_local, kRemote}}, &notify));
    }
};

TEST_P(ResumeAfterPanelStop, TheResumedFileCarriesThePanelsDigest)
{
    if (fromPanel())
        m_panel.putFile(kRemote, m_bytes);
    else
        writeLocal(m_local, m_bytes);

    // The panel stops mid-file: a network error.
    m_panel.setCallDelay(pieceMethod(), 5ms);
    RecordingNotify first;
    start(first);
    ASSERT_TRUE(m_panel.panel().waitFor([&] { return m_panel.count(pieceMethod()) >= 40; }, 60s));
    m_panel.panel().stop();
    ASSERT_TRUE(first.waitForEnd());
    EXPECT_EQ(first.failureCode(), 0);
    EXPECT_EQ(first.count(Event::FileDone), 0);

    // Back again: the part that arrived is proven and the rest sent, in one
    // attempt whose digest is the panel's.
    m_panel.panel().restart();
    m_panel.setCallDelay(pieceMethod(), 0ms);
    ASSERT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
    m_panel.clearLog();
    RecordingNotify second;
    start(second);
    ASSERT_TRUE(second.waitForEnd());
    expectOneAttempt(second, createMethod());
    EXPECT_EQ(m_panel.count("getFileCRC32"), 1u);
    const auto offsets = numbersOf(pieceMethod(), 1);
    ASSERT_FALSE(offsets.empty());
    EXPECT_GT(offsets.front(), 0u) << "resumed, not started anew";
    if (fromPanel())
        EXPECT_EQ(readLocal(m_local), m_bytes);
    else
        EXPECT_EQ(m_panel.fileBytes(kRemote), m_bytes);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, ResumeAfterPanelStop, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Fetched") : std::string("Sent");
                         });

} // namespace
