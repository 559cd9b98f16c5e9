#include "tarnwick/widgets/pixmaplineedit.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

using namespace Tarnwick::Widgets;

PixmapLineEdit::PixmapLineEdit(QWidget* parent)
    : QFrame(parent)
    , m_iconLabel(new QLabel(this))
    , m_lineEdit(new QLineEdit(this))
{
    KitResources::init();
    setBackground(QString::fromLatin1(kTransparent));
    m_iconLabel->setFixedHeight(ScreenTool::scale(18));
    m_lineEdit->setFixedHeight(ScreenTool::scale(18));
    m_lineEdit->setContextMenuPolicy(Qt::NoContextMenu);

    auto* layout = new QHBoxLayout();
    const QSize margins = ScreenTool::scaleSize(QSize(6, 4));
    layout->setContentsMargins(margins.width(), margins.height(), margins.width(), margins.height());
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->setSpacing(ScreenTool::scale(6));

    auto* eye = new PixmapLabel(QString(), false, this);
    eye->setObjectName(kEyeName);
    eye->setIconSize(ScreenTool::scaleSize(QSize(16, 16)));
    eye->hide();

    layout->addWidget(m_iconLabel);
    layout->addWidget(m_lineEdit);
    layout->addWidget(eye);
    refreshEye();
    setLayout(layout);

    connect(m_lineEdit, &QLineEdit::editingFinished, this, &PixmapLineEdit::editingFinished);
    connect(m_lineEdit, &QLineEdit::textChanged, this, &PixmapLineEdit::textChanged);
    connect(eye, &PixmapLabel::clicked, this, &PixmapLineEdit::onPswdEyeClicked);
}

PixmapLabel* PixmapLineEdit::eye() const
{
    return findChild<PixmapLabel*>(kEyeName);
}

void PixmapLineEdit::setPlaceholderText(const QString& text)
{
    m_lineEdit->setPlaceholderText(text);
}

void PixmapLineEdit::setText(const QString& text)
{
    m_lineEdit->setText(text);
}

QString PixmapLineEdit::text() const
{
    return m_lineEdit->text();
}

void PixmapLineEdit::setReadOnly(bool readOnly)
{
    m_lineEdit->setReadOnly(readOnly);
}

bool PixmapLineEdit::isReadOnly() const
{
    return m_lineEdit->isReadOnly();
}

void PixmapLineEdit::setEditFocus()
{
    m_lineEdit->setFocus(Qt::OtherFocusReason);
}

void PixmapLineEdit::setValidator(const QValidator* validator)
{
    if (validator)
        m_lineEdit->setValidator(validator);
}

void PixmapLineEdit::setIcon(const QString& path)
{
    if (path.isEmpty()) {
        m_iconLabel->hide();
        return;
    }
    const QPixmap picture = QPixmap(path).scaled(ScreenTool::scaleSize(QSize(16, 16)), Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation);
    m_iconPath = path;
    m_iconLabel->setPixmap(picture);
    m_iconLabel->show();
}

void PixmapLineEdit::setBackground(const QString& color)
{
    const QString colour = color.isEmpty() ? QString::fromLatin1(kTransparent) : color;
    setStyleSheet(QString::fromLatin1(kLineEditFrameStyle).arg(colour).arg(ScreenTool::scale(4)));
}

void PixmapLineEdit::setWhiteFrame()
{
    setStyleSheet(QString::fromLatin1(kLineEditWhiteFrameStyle).arg(ScreenTool::scale(4)));
}

void PixmapLineEdit::setEchoMode(QLineEdit::EchoMode mode)
{
    if (isPswdIconVisible())
        return;
    m_lineEdit->setEchoMode(mode);
}

QLineEdit::EchoMode PixmapLineEdit::echoMode() const
{
    return m_lineEdit->echoMode();
}

bool PixmapLineEdit::isPswdIconVisible() const
{
    // Explicitly shown, whether or not the edit itself is on screen yet.
    const PixmapLabel* label = eye();
    return label && !label->isHidden();
}

void PixmapLineEdit::setPswdIconVisible(bool show)
{
    PixmapLabel* label = eye();
    if (!label || show == isPswdIconVisible())
        return;
    if (show)
        m_textHidden = true;
    label->setVisible(show);
    refreshEye();
}

void PixmapLineEdit::onPswdEyeClicked()
{
    if (m_lineEdit->isReadOnly())
        return;
    m_textHidden = !m_textHidden;
    refreshEye();
}

void PixmapLineEdit::refreshEye()
{
    if (PixmapLabel* label = eye())
        label->setIcon(QString::fromLatin1(m_textHidden ? kIconEyeClose : kIconEyeOpen));
    m_lineEdit->setEchoMode(m_textHidden ? QLineEdit::Password : QLineEdit::Normal);
}
