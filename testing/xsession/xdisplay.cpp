#include "testing/xsession/xdisplay.h"

#include "testing/main/eventwait.h"

#include <QElapsedTimer>

#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>

namespace TestX {

namespace {

constexpr int kToolTimeoutMs = 10000;
const char* const kMarkName = "TW_SESSION_MARK";

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// The numbers of an xprop line: "NAME(TYPE) = a, b, c", or for windows
// "NAME(WINDOW): window id # 0x1, 0x2".
QList<quint64> numbers(const QString& line)
{
    QList<quint64> values;
    int start = line.indexOf('=');
    if (start < 0)
        start = line.indexOf('#');
    if (start < 0)
        return values;
    for (const QString& field : line.mid(start + 1).split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const QString text = field.trimmed().section(' ', 0, 0);
        const quint64 value = text.startsWith(QLatin1String("0x")) ? text.mid(2).toULongLong(&ok, 16)
                                                                   : text.toULongLong(&ok, 10);
        if (ok)
            values << value;
    }
    return values;
}

// The text between the first and the last double quote of an xprop line.
QString quoted(const QString& line)
{
    const int first = line.indexOf('"');
    const int last = line.lastIndexOf('"');
    return first >= 0 && last > first ? line.mid(first + 1, last - first - 1) : QString();
}

// Runs program on the display, at most timeoutMs; false when it did not end
// by itself with exit code 0.
bool runOn(const QString& display, const QString& program, const QStringList& arguments, int timeoutMs, QString* output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.value(QStringLiteral("DISPLAY")) != display) {
        // Another display than this process's: one of a session without
        // access control.
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.remove(QStringLiteral("XAUTHORITY"));
    }
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(kToolTimeoutMs);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

QString FramedWindow::text() const
{
    return QStringLiteral("%1,%2 %3x%4 with frame %5,%6,%7,%8")
        .arg(client.x())
        .arg(client.y())
        .arg(client.width())
        .arg(client.height())
        .arg(frame.left())
        .arg(frame.top())
        .arg(frame.right())
        .arg(frame.bottom());
}

::testing::AssertionResult centredWithin(const QRect& area, const FramedWindow& window)
{
    const QRect outer = window.outer();
    const bool inside = area.contains(outer);
    const bool across = std::abs((outer.left() - area.left()) - (area.right() - outer.right())) <= 1;
    const bool down = std::abs((outer.top() - area.top()) - (area.bottom() - outer.bottom())) <= 1;
    if (inside && across && down)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window " << window.text().toStdString() << (inside ? "" : " not within")
                                         << (across ? "" : " off centre across") << (down ? "" : " off centre down")
                                         << " the area " << area.x() << "," << area.y() << " " << area.width() << "x"
                                         << area.height();
}

XDisplay::XDisplay(const QString& name)
    : m_name(name)
{
}

XDisplay XDisplay::current()
{
    return XDisplay(qEnvironmentVariable("DISPLAY"));
}

QString XDisplay::run(const QString& program, const QStringList& arguments) const
{
    QString output;
    return runOn(m_name, program, arguments, kToolTimeoutMs, &output) ? output : QString();
}

QString XDisplay::property(quint64 window, const char* name) const
{
    const QStringList target = window ? QStringList{QStringLiteral("-id"), QString::number(window)}
                                      : QStringList{QStringLiteral("-root")};
    return run(tool("xprop"), target + QStringList{QLatin1String(name)}).trimmed();
}

QRect XDisplay::workArea() const
{
    // One x, y, width, height per desktop: the first.
    const QList<quint64> area = numbers(property(0, "_NET_WORKAREA"));
    return area.size() >= 4 ? QRect(int(area[0]), int(area[1]), int(area[2]), int(area[3])) : QRect();
}

QList<quint64> XDisplay::clientWindows() const
{
    return numbers(property(0, "_NET_CLIENT_LIST"));
}

quint64 XDisplay::framedWindowOf(qint64 pid) const
{
    for (quint64 window : clientWindows()) {
        const QList<quint64> owner = numbers(property(window, "_NET_WM_PID"));
        if (!owner.isEmpty() && qint64(owner.first()) == pid && framedWindow(window))
            return window;
    }
    return 0;
}

std::optional<FramedWindow> XDisplay::settledWindowOf(qint64 pid, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    quint64 window = 0;
    if (!TestWait::waitUntil([&] { return (window = framedWindowOf(pid)) != 0; }, timeoutMs))
        return std::nullopt;
    return settledWindow(window, std::max<qint64>(0, timeoutMs - clock.elapsed()));
}

QString XDisplay::windowTitle(quint64 window) const
{
    // _NET_WM_NAME(UTF8_STRING) = "title"
    return quoted(property(window, "_NET_WM_NAME"));
}

std::optional<FramedWindow> XDisplay::framedWindow(quint64 window) const
{
    // left, right, top, bottom
    const QList<quint64> extents = numbers(property(window, "_NET_FRAME_EXTENTS"));
    if (extents.size() != 4)
        return std::nullopt;
    FramedWindow framed;
    framed.frame = QMargins(int(extents[0]), int(extents[2]), int(extents[1]), int(extents[3]));
    const QString info = run(tool("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    if (info.isEmpty())
        return std::nullopt;
    for (const QString& line : info.split('\n')) {
        const QString field = line.trimmed();
        const int value = field.section(':', 1).trimmed().toInt();
        if (field.startsWith(QLatin1String("Absolute upper-left X:")))
            framed.client.moveLeft(value);
        else if (field.startsWith(QLatin1String("Absolute upper-left Y:")))
            framed.client.moveTop(value);
        else if (field.startsWith(QLatin1String("Width:")))
            framed.client.setWidth(value);
        else if (field.startsWith(QLatin1String("Height:")))
            framed.client.setHeight(value);
    }
    return framed;
}

std::optional<FramedWindow> XDisplay::settledWindow(quint64 window, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    std::optional<FramedWindow> last;
    while (clock.elapsed() <= timeoutMs) {
        const std::optional<FramedWindow> now = framedWindow(window);
        if (now && last && now->client == last->client && now->frame == last->frame)
            return now;
        last = now;
        TestWait::waitUntil([] { return false; }, kSettleMs);
    }
    return std::nullopt;
}

bool XDisplay::markRoot(const QString& mark) const
{
    return runOn(m_name, tool("xprop"),
                 {QStringLiteral("-root"), QStringLiteral("-f"), QLatin1String(kMarkName), QStringLiteral("8s"),
                  QStringLiteral("-set"), QLatin1String(kMarkName), mark},
                 kToolTimeoutMs, nullptr);
}

QString XDisplay::rootMark() const
{
    // TW_SESSION_MARK(STRING) = "mark"
    return quoted(property(0, kMarkName));
}

bool XDisplay::grabScreen(const QString& file) const
{
    return runOn(m_name, QStringLiteral(SCREEN_GRAB_PROGRAM), {file}, 3 * kToolTimeoutMs, nullptr);
}

} // namespace TestX
