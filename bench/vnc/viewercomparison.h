#pragma once

// CPU per update of a whole viewer program (ours, and TigerVNC's
// xtigervncviewer where it is installed) on one stream: the bench serves the
// same 8 bpp Hextile updates to each, under Xvfb displays of its own at
// several DPIs, paced (one update every so many ms) or back to back, and
// reads the viewer's CPU time (utime + stime, all its threads) from
// /proc/<pid>/stat before and after a run of updates. Both viewers run pinned
// to the same cores; the feed and the X server run on others.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace Bench {

struct ViewerRun {
    bool ok = false;
    QString error;
    double cpuMsPerUpdate = 0;
    double wallMsPerUpdate = 0;
    QString windowSize; // what our window logged for the frame buffer, "WxH"
};

struct ViewerStream {
    QByteArray updates[2];    // 8 bpp full updates, sent in turn
    QByteArray smallUpdate16; // the answer to a client that still asks for 16 bpp
    int warmUp = 50;
    int measured = 400;
    // 0: each update as soon as it is asked for; otherwise update n goes out
    // at the earliest n intervals after the first (later when the viewer
    // asks later).
    int intervalMs = 0;
};

// An Xvfb of the bench's own at a DPI, on a display number that no X server
// holds, pinned to cores (empty: unpinned).
class BenchDisplay {
public:
    BenchDisplay();
    ~BenchDisplay();
    BenchDisplay(const BenchDisplay&) = delete;
    BenchDisplay& operator=(const BenchDisplay&) = delete;
    bool start(int dpi, int firstNumber, const QString& cores, QString* error);
    QString name() const { return m_name; }
    int number() const { return m_number; }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_name;
    int m_number = -1;
};

// Runs program with arguments (every "%PORT" replaced by the stream's port)
// on the display, pinned to cores with taskset (empty: unpinned), and serves
// it the stream.
ViewerRun runViewer(const QString& display, const QString& program, const QStringList& arguments,
                    const ViewerStream& stream, const QString& cores);

struct ViewerBenchOptions {
    int rounds = 7;
    std::vector<int> dpis{96, 120, 144};
    std::vector<int> counts{10, 50};
    bool paced = true;
    bool backToBack = true;
    int intervalMs = 42; // about 24 updates a second
    QString viewerCores = QStringLiteral("4-7");
    QString feedCores = QStringLiteral("0-3");
    int firstDisplay = 170;
    QString self; // this program, which is our viewer with --viewer PORT
};

// The comparison table: for each DPI, feed and count, both viewers in turn
// (alternating which goes first), rounds times; median [min-max] of each side
// and the ratio of the medians. makeStream gives the updates of a count.
void viewerFigures(const ViewerBenchOptions& options, const std::function<ViewerStream(int count)>& makeStream);

} // namespace Bench
