#include "quillet/widgets/busywidget.h"

#include <QPainter>

#include <algorithm>

namespace {
constexpr int kTickMs = 100;
constexpr int kMaxStep = 40;
} // namespace

BusyWidget::BusyWidget(QWidget* parent, const QString& text, int step)
    : QWidget(parent)
    , m_step(std::max(1, std::min(step, kMaxStep)))
    , m_text(text)
{
    if (parent)
        setGeometry(0, 0, parent->width(), parent->height());
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    startTimer(kTickMs, Qt::CoarseTimer);
}

void BusyWidget::setTimeout(int ms)
{
    m_timeout = ms;
}

void BusyWidget::leaveUncovered(QWidget* widget)
{
    m_uncovered = widget;
    updateMask();
}

void BusyWidget::updateMask()
{
    QWidget* owner = parentWidget();
    if (!m_uncovered || !owner || !owner->isAncestorOf(m_uncovered)) {
        clearMask();
        return;
    }
    const QRect area(m_uncovered->mapTo(owner, QPoint(0, 0)) - pos(), m_uncovered->size());
    setMask(QRegion(rect()).subtracted(QRegion(area)));
}

void BusyWidget::resizeEvent(QResizeEvent*)
{
    updateMask();
}

void BusyWidget::timerEvent(QTimerEvent*)
{
    m_angle = (m_angle + m_step) % 360;
    if (m_delay >= 0)
        m_delay -= kTickMs;
    if (m_delay < 0) {
        QWidget* owner = parentWidget();
        const QRect full = owner ? QRect(0, 0, owner->width(), owner->height()) : geometry();
        if (geometry() != full)
            setGeometry(full);
        else
            update();
    }
    if (m_timeout > 0)
        m_timeout -= kTickMs;
    else
        close();
}

void BusyWidget::paintEvent(QPaintEvent*)
{
    if (m_delay > 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::transparent);
    painter.fillRect(rect(), QColor(255, 255, 255, 1));
    painter.translate(width() / 2, height() / 2);
    const int bars = 360 / m_step;
    for (int n = 0; n < bars; ++n) {
        painter.setBrush(n * m_step < m_angle ? QColor(120, 120, 120) : QColor(180, 180, 180));
        painter.drawRoundedRect(QRect(45, -3, 16, 8), 2, 2);
        painter.rotate(m_step);
    }
}
