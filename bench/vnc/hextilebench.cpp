// Speed of the VNC viewer on full 1024x600 Hextile updates with 0, 10, 50 and
// 200 subrectangles per tile, in interleaved rounds (median and range per
// figure). Prints figures; asserts nothing.
//
//   tarnwick_vnc_bench [--rounds N] [--no-viewers | --only-viewers]
//                      [--dpi 96,120,144] [--subrects 10,50]
//                      [--paced-only | --back-to-back-only]
//                      [--viewer-cores 4-7] [--feed-cores 0-3] [--first-display 170]
//
// 1. Decoding: the same update bytes decoded from memory, and read through a
//    real loopback socket by the protocol dispatcher and its steps exactly as
//    the viewer's worker reads them, beside a plain copy of a frame.
// 2. Whole viewers: CPU per update of Tarnwick's viewer window and of
//    TigerVNC's xtigervncviewer (where installed) on the same 8 bpp stream,
//    paced at about 24 updates a second and back to back, under Xvfb
//    displays of the bench's own at each DPI; both viewers pinned to the
//    same cores (skipped with --no-viewers or without Xvfb).
//
// With --viewer PORT [HOST] the program is the viewer of part 2: a
// VncViewerWindow on HOST (127.0.0.1) at PORT, switched to the low quality
// (8 bpp) once connected.

#include "bench/vnc/benchfigures.h"
#include "bench/vnc/benchstreamserver.h"
#include "bench/vnc/viewercomparison.h"
#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "testing/fakerfb/hextileencoder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QMutex>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

using namespace VNC;
using FakeRfb::HextileEncoder;
using FakeRfb::HextileOptions;
using FakeRfb::PixelFormat;

using Bench::Figures;

namespace {

const QSize kFrame(1024, 600);
const int kCounts[] = {0, 10, 50, 200};

// The viewer's frame buffer: locked for each batch of tiles.
class LockedTarget : public VncFrameTarget {
public:
    LockedTarget()
        : image(kFrame, QImage::Format_RGBA8888)
    {
        image.fill(0);
    }
    QImage* beginDraw() override
    {
        mutex.lock();
        return &image;
    }
    void endDraw(const QRect&) override { mutex.unlock(); }
    QImage image;
    QMutex mutex;
};

// Every tile: a background and `count` single pixels of a second colour,
// which the encoder sends as `count` plain 1x1 subrectangles.
QImage pictureWith(int count, quint32 seed)
{
    QImage picture(kFrame, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int ty = 0; ty < kFrame.height(); ty += 16) {
        for (int tx = 0; tx < kFrame.width(); tx += 16) {
            const QRgb background = qRgb(random.bounded(256), random.bounded(256), random.bounded(256));
            const QRgb foreground = qRgb(255 - qRed(background), 255 - qGreen(background), 128);
            std::vector<int> cells(256);
            for (int i = 0; i < 256; ++i)
                cells[size_t(i)] = i;
            for (int i = 255; i > 0; --i)
                std::swap(cells[size_t(i)], cells[size_t(random.bounded(i + 1))]);
            const int th = std::min(16, kFrame.height() - ty);
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < 16; ++x)
                    picture.setPixel(tx + x, ty + y, background);
            // The bottom row of tiles is 8 pixels high and holds fewer.
            int placed = 0;
            for (int i = 0; i < 256 && placed < count; ++i) {
                const int cell = cells[size_t(i)];
                if (cell == 0 || cell / 16 >= th)
                    continue; // the top-left pixel names the background
                picture.setPixel(tx + cell % 16, ty + cell / 16, foreground);
                ++placed;
            }
        }
    }
    return picture;
}

QByteArray rectData(int count, const PixelFormat& format, quint32 seed)
{
    HextileOptions options;
    options.style = HextileOptions::PixelSubrects;
    options.reuseColours = false;
    return HextileEncoder::encodeRect(pictureWith(count, seed), QRect(QPoint(0, 0), kFrame), format, options);
}

// A whole FramebufferUpdate message of one rectangle.
QByteArray updateMessage(const QByteArray& data, const QRect& rect)
{
    return QByteArray::fromHex("00000001") + HextileEncoder::rectHeader(rect) + data;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Per update: the time that passed, and the CPU time of the decoding thread
// (which leaves out the time the machine's other work took from it).
struct Timing {
    double wallMs = NAN;
    double cpuMs = NAN;
};

class Stopwatch {
public:
    void start()
    {
        m_wall.start();
        m_cpu = threadCpuMs();
    }
    Timing per(int frames) const
    {
        return {double(m_wall.nsecsElapsed()) / 1e6 / frames, (threadCpuMs() - m_cpu) / frames};
    }

private:
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

// The decoder fed from memory: the same input buffer as the viewer's, filled
// from the recorded rectangle instead of a socket.
Timing inMemory(const QByteArray& data, VncImageQuality quality, int frames)
{
    LockedTarget target;
    int done = 0;
    auto format = VncPixelFormat::create(quality, [&] { ++done; });
    qint64 position = 0;
    auto source = [&](char* to, qint64 max) -> qint64 {
        const qint64 n = std::min(max, qint64(data.size()) - position);
        if (n == 0)
            return -1;
        std::memcpy(to, data.constData() + position, size_t(n));
        position += n;
        return n;
    };
    VncInputBuffer input(source, Constants::kReadAheadBytes);
    format->setInput(&input);
    format->setFrameTarget(&target);
    format->setFrameSize(kFrame);
    VncRectHeader header;
    header.width = quint16(kFrame.width());
    header.height = quint16(kFrame.height());
    header.encoding = Constants::kEncodingHextile;
    Stopwatch watch;
    for (int i = 0; i <= frames; ++i) {
        if (i == 1)
            watch.start(); // the first frame warms up
        position = 0;
        input.setSource(source);
        if (!format->decodeRect(header, true))
            return {};
    }
    return watch.per(frames);
}

// The protocol dispatcher and its steps on a loopback socket, as in the
// viewer's worker; the server streams the updates back to back.
Timing throughSocket(const QByteArray& update, VncImageQuality quality, int frames)
{
    Bench::StreamServer server;
    const int total = frames + 1; // the first warms up
    std::thread peer([&] {
        const platform::UniqueFd connection = server.accept(10000);
        if (!connection)
            return;
        const int fd = connection.get();
        char setup[8 + 20 + 10]; // SetEncodings, SetPixelFormat, the first request
        if (Bench::StreamServer::handshake(fd, kFrame, PixelFormat::low().toBytes())
            && Bench::StreamServer::receiveAll(fd, setup, sizeof(setup))) {
            for (int i = 0; i < total; ++i)
                if (!Bench::StreamServer::sendAll(fd, update))
                    break;
            char drain[4096];
            while (::recv(fd, drain, sizeof(drain), 0) > 0) {}
        }
    });
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    Timing result;
    if (socket.waitForConnected(10000)) {
        LockedTarget target;
        int done = 0;
        VncProtocolDispatcher dispatcher([&] { ++done; }, quality, nullptr);
        dispatcher.setFrameTarget(&target);
        dispatcher.start(&socket);
        // As the worker's readyRead handler: run the current step, and wait
        // for bytes only when it made no progress.
        auto runUntil = [&](int frame) {
            while (done < frame) {
                const quint64 before = dispatcher.input().consumedTotal();
                dispatcher.runCurrentStep();
                if (dispatcher.input().consumedTotal() == before && !socket.waitForReadyRead(10000))
                    return false;
            }
            return true;
        };
        Stopwatch watch;
        try {
            if (runUntil(1)) {
                watch.start();
                if (runUntil(total))
                    result = watch.per(frames);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "socket run failed: %s\n", e.what());
        }
        socket.abort();
    }
    peer.join();
    return result;
}

double plainCopy(int frames)
{
    const size_t bytes = size_t(kFrame.width()) * size_t(kFrame.height()) * 4;
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 0);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < frames; ++i) {
        std::memcpy(to.data(), from.data(), bytes);
        from[size_t(i) % bytes] = char(i); // keep the copy from being optimised away
    }
    volatile char sink = to[bytes / 2];
    (void)sink;
    return double(timer.nsecsElapsed()) / 1e6 / frames;
}

void decodeFigures(int rounds)
{
    struct Case {
        int bpp;
        VncImageQuality quality;
        int count;
        QByteArray data;
        QByteArray update;
        int frames;
        Figures memory, socket, ratio, socketWall;
    };
    std::vector<Case> cases;
    for (const auto& f : {std::make_pair(8, LowQuality), std::make_pair(16, MiddleQuality)}) {
        const PixelFormat format = f.first == 8 ? PixelFormat::low() : PixelFormat::middle();
        for (int count : kCounts) {
            Case c{f.first, f.second, count, rectData(count, format, 42), {}, 0, {}, {}, {}, {}};
            c.update = updateMessage(c.data, QRect(QPoint(0, 0), kFrame));
            c.frames = count >= 200 ? 40 : count >= 50 ? 80 : 120;
            cases.push_back(c);
        }
    }
    Figures copy;
    for (int round = 0; round < rounds; ++round) {
        copy.add(plainCopy(200));
        for (Case& c : cases) {
            // The two sides in turn within the round, in alternating order.
            Timing memory;
            Timing socket;
            if (round % 2) {
                socket = throughSocket(c.update, c.quality, c.frames);
                memory = inMemory(c.data, c.quality, c.frames);
            } else {
                memory = inMemory(c.data, c.quality, c.frames);
                socket = throughSocket(c.update, c.quality, c.frames);
            }
            c.memory.add(memory.cpuMs);
            c.socket.add(socket.cpuMs);
            c.socketWall.add(socket.wallMs);
            c.ratio.add(socket.cpuMs / memory.cpuMs);
        }
        std::fprintf(stderr, "decode round %d of %d done\n", round + 1, rounds);
    }
    std::printf("\nHextile decode, %dx%d full updates, %d interleaved rounds; ms per update, median [min-max];\n"
                "CPU time of the decoding thread, and the time that passed for the socket side\n",
                kFrame.width(), kFrame.height(), rounds);
    std::printf("plain copy of a 32-bit frame: %s ms\n", qPrintable(copy.text()));
    std::printf("%-4s %-9s %8s  %-24s %-24s %-24s %-24s %s\n", "bpp", "subrects", "bytes", "in memory (CPU)",
                "through socket (CPU)", "socket / memory", "through socket (wall)", "memory / copy");
    for (const Case& c : cases) {
        const QString ratio = QString::asprintf("%.2fx [%.2f-%.2f]", c.ratio.median(), c.ratio.min(), c.ratio.max());
        const QString wall = c.socketWall.text();
        std::printf("%-4d %-9d %8d  %-24s %-24s %-24s %-24s %.1fx\n", c.bpp, c.count, int(c.update.size()),
                    qPrintable(c.memory.text()), qPrintable(c.socket.text()), qPrintable(ratio), qPrintable(wall),
                    c.memory.median() / copy.median());
    }
    std::fflush(stdout);
}

Bench::ViewerStream viewerStream(int count)
{
    Bench::ViewerStream s;
    for (int i = 0; i < 2; ++i)
        s.updates[i] = updateMessage(rectData(count, PixelFormat::low(), 42 + quint32(i)), QRect(QPoint(0, 0), kFrame));
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::darkGray);
    s.smallUpdate16 = updateMessage(HextileEncoder::encodeRect(small, small.rect(), PixelFormat::middle()),
                                    small.rect());
    return s;
}

std::vector<int> numbers(const QByteArray& list)
{
    std::vector<int> values;
    for (const QByteArray& part : list.split(','))
        if (part.toInt() > 0)
            values.push_back(part.toInt());
    return values;
}

int viewerMain(int argc, char** argv, quint16 port, const QString& host)
{
    QApplication app(argc, argv);
    VncViewerWindow window(host, port);
    bool switched = false;
    QObject::connect(&window, &QWidget::windowTitleChanged, [&](const QString& title) {
        if (!switched && title.endsWith(QStringLiteral("已连接"))) {
            switched = true;
            QMetaObject::invokeMethod(&window, "_setPixelFormat8Bit", Qt::QueuedConnection);
        }
    });
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 7;
    bool viewers = true;
    bool decoding = true;
    Bench::ViewerBenchOptions options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--viewer" && hasValue)
            return viewerMain(argc, argv, quint16(QByteArray(argv[i + 1]).toUInt()),
                              i + 2 < argc ? QString::fromLocal8Bit(argv[i + 2]) : QStringLiteral("127.0.0.1"));
        if (arg == "--rounds" && hasValue)
            rounds = std::max(5, QByteArray(argv[++i]).toInt());
        else if (arg == "--no-viewers")
            viewers = false;
        else if (arg == "--only-viewers")
            decoding = false;
        else if (arg == "--dpi" && hasValue)
            options.dpis = numbers(argv[++i]);
        else if (arg == "--subrects" && hasValue)
            options.counts = numbers(argv[++i]);
        else if (arg == "--paced-only")
            options.backToBack = false;
        else if (arg == "--back-to-back-only")
            options.paced = false;
        else if (arg == "--viewer-cores" && hasValue)
            options.viewerCores = QString::fromLatin1(argv[++i]);
        else if (arg == "--feed-cores" && hasValue)
            options.feedCores = QString::fromLatin1(argv[++i]);
        else if (arg == "--first-display" && hasValue)
            options.firstDisplay = std::max(1, QByteArray(argv[++i]).toInt());
        else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    if (decoding)
        decodeFigures(rounds);
    if (viewers) {
        options.rounds = rounds;
        options.self = QCoreApplication::applicationFilePath();
        Bench::viewerFigures(options, viewerStream);
    }
    return 0;
}
