#pragma once

// CPU per update of a whole viewer program (ours, and TigerVNC's vncviewer
// where it is installed) on one stream: the bench serves the same 8 bpp
// Hextile updates to each, one per update request, under an Xvfb display of
// its own, and reads the viewer's CPU time from /proc before and after a run
// of updates.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace Bench {

struct ViewerRun {
    bool ok = false;
    QString error;
    double cpuMsPerUpdate = 0;
    double wallMsPerUpdate = 0;
};

struct ViewerStream {
    QByteArray updates[2];    // 8 bpp full updates, sent in turn
    QByteArray smallUpdate16; // the answer to a client that still asks for 16 bpp
    int warmUp = 50;
    int measured = 400;
};

// An Xvfb of the bench's own, on a display number that no X server holds.
class BenchDisplay {
public:
    BenchDisplay();
    ~BenchDisplay();
    BenchDisplay(const BenchDisplay&) = delete;
    BenchDisplay& operator=(const BenchDisplay&) = delete;
    bool start(QString* error);
    QString name() const { return m_name; }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_name;
};

// Runs program with arguments (every "%PORT" replaced by the stream's port)
// on the display and serves it the stream.
ViewerRun runViewer(const QString& display, const QString& program, const QStringList& arguments,
                    const ViewerStream& stream);

} // namespace Bench
