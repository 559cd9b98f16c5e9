#include "platform/windowfit/windowfit.h"

#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace Platform {

namespace {

// The reference frame of frameAllowance at 96 DPI: above the common window
// managers' title bars and borders (openbox 20 and 1, xfwm4 and KWin about 30
// and 4, mutter 37 and a few, Windows 31 and 8).
constexpr int kAllowanceTitle = 40;
constexpr int kAllowanceBorder = 8;
// What a title bar holds beside its title, in heights of the title bar: the
// window icon, minimise, maximise, close and the paddings around them
// (openbox's take five and a half).
constexpr int kTitleBarRoom = 6;
constexpr int kWatchPollMs = 50;
const char* const kPlacerName = "Platform::WindowFit placer";

bool frameless(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::FramelessWindowHint);
}

// The frame the window manager gave window; null while it has given none.
QMargins knownFrame(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return window->isVisible() && handle ? handle->frameMargins() : QMargins();
}

// Another visible, framed window of the program, whose frame the window
// manager gives windows of the kind.
QMargins framedNeighbour(const QWidget* window)
{
    for (QWindow* other : QGuiApplication::topLevelWindows()) {
        if (other == window->windowHandle() || !other->isVisible() || other->flags().testFlag(Qt::FramelessWindowHint))
            continue;
        const Qt::WindowType type = other->type();
        if (type != Qt::Window && type != Qt::Dialog)
            continue;
        const QMargins margins = other->frameMargins();
        if (!margins.isNull())
            return margins;
    }
    return QMargins();
}

// Sizes window to wanted within the room there is and centres it.
void place(QWidget* window, const QSize& wanted);

// Watches a window placed before its frame was known, from its showing on,
// and places it again once its frame is known and differs from the one it
// was placed with; it goes then, or kFrameWatchMs after the showing.
class FramePlacer : public QObject {
public:
    // wanted: the size window was to have before it was fitted.
    static void watch(QWidget* window, const QMargins& expected, const QSize& wanted)
    {
        auto* placer = window->findChild<FramePlacer*>(QLatin1String(kPlacerName), Qt::FindDirectChildrenOnly);
        if (!placer)
            placer = new FramePlacer(window);
        placer->m_expected = expected;
        placer->m_wanted = wanted;
        if (window->isVisible())
            placer->begin();
    }

private:
    explicit FramePlacer(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        setObjectName(QLatin1String(kPlacerName));
        m_poll.setInterval(kWatchPollMs);
        connect(&m_poll, &QTimer::timeout, this, &FramePlacer::check);
        m_end.setSingleShot(true);
        m_end.setInterval(WindowFit::kFrameWatchMs);
        connect(&m_end, &QTimer::timeout, this, [this] {
            finish();
            deleteLater();
        });
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window) {
            switch (event->type()) {
            case QEvent::Show: begin(); break;
            case QEvent::Move:
            case QEvent::Resize: check(); break;
            default: break;
            }
        }
        return false;
    }

    void begin()
    {
        if (!m_end.isActive()) {
            m_end.start();
            m_poll.start();
        }
        check();
    }

    void check()
    {
        if (!m_window || !m_end.isActive())
            return;
        const QMargins frame = knownFrame(m_window);
        if (frame.isNull())
            return;
        finish();
        if (frame != m_expected && m_window->windowState() == Qt::WindowNoState)
            place(m_window, m_wanted);
        deleteLater();
    }

    // Done watching: no longer found as the window's placer.
    void finish()
    {
        m_end.stop();
        m_poll.stop();
        setObjectName(QString());
        if (m_window)
            m_window->removeEventFilter(this);
    }

    QPointer<QWidget> m_window;
    QMargins m_expected;
    QSize m_wanted;
    QTimer m_poll;
    QTimer m_end;
};

void place(QWidget* window, const QSize& wanted)
{
    const QRect available = WindowFit::availableArea(window);
    if (available.isEmpty())
        return;
    // A layout that has not run yet sets the window's minimum size when it does.
    if (QLayout* layout = window->layout())
        layout->activate();
    const QMargins frame = WindowFit::frameOf(window);
    const QSize size = wanted.boundedTo(WindowFit::clientRoom(window))
                           .expandedTo(window->minimumSize())
                           .boundedTo(window->maximumSize());
    if (size != window->size())
        window->resize(size);

    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QRect over = owner && owner->isVisible() ? owner->frameGeometry() : available;
    const QSize frameSize(size.width() + frame.left() + frame.right(), size.height() + frame.top() + frame.bottom());
    // A window's position is that of its frame.
    window->move(WindowFit::placeFrame(frameSize, available, over).topLeft());

    if (!frameless(window) && knownFrame(window).isNull())
        FramePlacer::watch(window, frame, wanted);
}

} // namespace

QScreen* WindowFit::screenOf(const QWidget* window)
{
    if (const QWidget* parent = window->parentWidget())
        return parent->window()->screen();
    return window->screen();
}

QRect WindowFit::availableArea(const QWidget* window)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return QRect();
    const QScreen* screen = screenOf(window);
    return screen ? screen->availableGeometry() : QRect();
}

QMargins WindowFit::frameOf(const QWidget* window)
{
    if (frameless(window))
        return QMargins();
    QMargins frame = knownFrame(window);
    if (frame.isNull())
        frame = framedNeighbour(window);
    if (frame.isNull()) {
        const QScreen* screen = screenOf(window);
        frame = frameAllowance(screen ? screen->logicalDotsPerInch() : 96.0);
    }
    return frame;
}

QSize WindowFit::clientRoom(const QWidget* window)
{
    const QRect available = availableArea(window);
    if (available.isEmpty())
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QMargins frame = frameOf(window);
    const QSize area = available.size();
    return QSize(std::max(0, area.width() - frame.left() - frame.right()),
                 std::max(0, area.height() - frame.top() - frame.bottom()));
}

int WindowFit::titleWidth(const QWidget* window)
{
    if (!window || frameless(window) || window->windowTitle().isEmpty() || availableArea(window).isEmpty())
        return 0;
    QFont font = QGuiApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font, window);
    return metrics.horizontalAdvance(window->windowTitle()) + kTitleBarRoom * frameOf(window).top();
}

void WindowFit::fitAndCentre(QWidget* window)
{
    if (window && window->isWindow())
        place(window, window->size());
}

bool WindowFit::awaitsFrame(const QWidget* window)
{
    return window && window->findChild<FramePlacer*>(QLatin1String(kPlacerName), Qt::FindDirectChildrenOnly);
}

QMargins WindowFit::frameAllowance(qreal dpi)
{
    const auto scaled = [dpi](int pixels) { return static_cast<int>(std::ceil(pixels * dpi / 96.0)); };
    const int border = scaled(kAllowanceBorder);
    return QMargins(border, scaled(kAllowanceTitle), border, border);
}

QRect WindowFit::placeFrame(const QSize& frameSize, const QRect& available, const QRect& over)
{
    const auto place = [](int size, int overStart, int overLength, int low, int room) {
        if (size >= room)
            return low;
        return std::clamp(overStart + (overLength - size) / 2, low, low + room - size);
    };
    return QRect(QPoint(place(frameSize.width(), over.left(), over.width(), available.left(), available.width()),
                        place(frameSize.height(), over.top(), over.height(), available.top(), available.height())),
                 frameSize);
}

} // namespace Platform
