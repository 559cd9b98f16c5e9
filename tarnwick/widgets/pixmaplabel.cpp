#include "tarnwick/widgets/pixmaplabel.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPixmapCache>

using namespace Tarnwick::Widgets;

namespace {

// Table rebuilds draw the same few icons thousands of times; the scaled
// pictures are kept in Qt's pixmap cache by path and size.
QPixmap scaledPicture(const QString& path, const QSize& size)
{
    const QString key = QStringLiteral("tw-kit|%1|%2x%3").arg(path).arg(size.width()).arg(size.height());
    QPixmap scaled;
    if (QPixmapCache::find(key, &scaled))
        return scaled;
    scaled = QPixmap(path).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmapCache::insert(key, scaled);
    return scaled;
}

} // namespace

PixmapLabel::PixmapLabel(const QString& icon, bool vertical, QWidget* parent)
    : QWidget(parent)
    , m_vertical(vertical)
{
    setUp(icon, QString());
}

PixmapLabel::PixmapLabel(const QString& icon, const QString& text, bool vertical, QWidget* parent)
    : QWidget(parent)
    , m_vertical(vertical)
{
    setUp(icon, text);
}

PixmapLabel::PixmapLabel(const QString& icon, const QString& pressedIcon, const QString& text, bool vertical,
                         QWidget* parent)
    : QWidget(parent)
    , m_vertical(vertical)
    , m_pressedIcon(pressedIcon)
{
    setUp(icon, text);
}

void PixmapLabel::setUp(const QString& icon, const QString& text)
{
    KitResources::init();
    setObjectName(kPixmapLabelName);
    m_layout = new QBoxLayout(QBoxLayout::LeftToRight, this);
    setAttribute(Qt::WA_StyledBackground);
    m_textLabel = new QLabel(this);
    m_textLabel->setObjectName(kTextChildName);
    m_iconLabel = new QLabel(this);
    m_iconLabel->setObjectName(kIconChildName);
    m_layout->setSpacing(0);
    m_layout->setAlignment(Qt::AlignCenter);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->addWidget(m_iconLabel, 0, Qt::AlignCenter);
    m_layout->addWidget(m_textLabel, 0, Qt::AlignCenter);
    m_layout->setDirection(m_vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    setText(text);
    setIcon(icon);
}

QLabel* PixmapLabel::iconLabel() const
{
    return m_iconLabel;
}

QLabel* PixmapLabel::textLabel() const
{
    return m_textLabel;
}

void PixmapLabel::drawIcon(const QString& path, const QSize& size)
{
    m_iconLabel->setPixmap(scaledPicture(path, size));
}

void PixmapLabel::setText(const QString& text)
{
    m_textLabel->setText(text);
    m_textLabel->setVisible(!text.isEmpty());
    m_text = text;
}

void PixmapLabel::setTextColor(const QString& color)
{
    m_textLabel->setStyleSheet(QString::fromLatin1(kTextColourStyle).arg(color));
}

void PixmapLabel::setVertical(bool vertical)
{
    m_layout->setDirection(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    m_vertical = vertical;
}

void PixmapLabel::setTextVisible(bool visible)
{
    m_textLabel->setVisible(visible);
}

void PixmapLabel::setIconVisible(bool visible)
{
    m_iconLabel->setVisible(visible);
}

void PixmapLabel::setAlignment(Qt::Alignment alignment)
{
    m_layout->setAlignment(alignment);
    m_layout->setAlignment(m_textLabel, alignment);
}

void PixmapLabel::setContentsMargins(int left, int top, int right, int bottom)
{
    m_layout->setContentsMargins(left, top, right, bottom);
}

void PixmapLabel::setIcon(const QString& path)
{
    if (path.isEmpty()) {
        m_iconLabel->hide();
        m_icon = path;
        return;
    }
    if (path == m_icon)
        return;
    m_icon = path;
    m_iconLabel->show();
    drawIcon(m_icon, m_iconSize);
}

void PixmapLabel::setIconSize(const QSize& size)
{
    if (size == m_iconSize)
        return;
    m_iconSize = size;
    if (!m_icon.isEmpty())
        drawIcon(m_icon, m_iconSize);
}

void PixmapLabel::setIconEnlarged(bool enlarged)
{
    if (enlarged == m_enlarged)
        return;
    m_enlarged = enlarged;
    if (m_icon.isEmpty())
        return;
    drawIcon(m_icon, enlarged ? m_iconSize + ScreenTool::scaleSize(QSize(4, 4)) : m_iconSize);
}

void PixmapLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = rect().contains(event->localPos().toPoint());
    if (m_pressed && !m_pressedIcon.isEmpty())
        drawIcon(m_pressedIcon, m_iconSize);
    QWidget::mousePressEvent(event);
}

void PixmapLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (rect().contains(event->localPos().toPoint()))
        emit clicked();
    if (!m_pressedIcon.isEmpty())
        drawIcon(m_icon, m_iconSize);
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
}
