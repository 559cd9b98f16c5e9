#include "tarnwick/widgets/selectlineview.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/formcaption.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

using namespace Tarnwick::Widgets;

SelectLineView::SelectLineView(const QString& label, QWidget* parent)
    : QFrame(parent)
{
    KitResources::init();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    const QSize margins = ScreenTool::scaleSize(QSize(6, 4));
    layout->setContentsMargins(margins.width(), margins.height(), margins.width(), margins.height());
    layout->setSpacing(ScreenTool::scale(6));

    auto* star = newRequiredStar(this);
    auto* caption = new QLabel(label, this);
    caption->setObjectName(kCaptionName);
    caption->setAlignment(Qt::AlignRight);
    caption->setVisible(!label.isEmpty());
    layout->addWidget(star, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(caption, 0, Qt::AlignRight | Qt::AlignVCenter);

    m_combo = new QComboBox(this);
    const int h = ScreenTool::scale(18);
    m_combo->setFixedHeight(h);
    m_combo->setStyleSheet(
        QString::fromLatin1(kComboStyle).arg(h).arg(ScreenTool::scale(18)).arg(ScreenTool::scale(12)));
    layout->addWidget(m_combo, 3);
    m_combo->setEnabled(true);

    setStyleSheet(QString::fromLatin1(kSelectFrameStyle).arg(h));
    connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SelectLineView::currentIndexChanged);
}

void SelectLineView::setItems(const QVector<Item>& items)
{
    m_combo->clear();
    for (const Item& item : items)
        m_combo->addItem(QIcon(), item.first, item.second);
}

void SelectLineView::addItem(const QString& text, const QVariant& data)
{
    m_combo->addItem(QIcon(), text, data);
}

void SelectLineView::setItem(int index, const QString& text, const QVariant& data)
{
    if (index < 0 || index >= m_combo->count())
        return;
    m_combo->setItemText(index, text);
    m_combo->setItemData(index, data, Qt::UserRole);
}

void SelectLineView::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_combo->count())
        return;
    m_combo->setCurrentIndex(index);
}

int SelectLineView::currentIndex() const
{
    return m_combo->currentIndex();
}

QString SelectLineView::currentText() const
{
    return m_combo->currentText();
}

QVariant SelectLineView::currentData() const
{
    return m_combo->currentData(Qt::UserRole);
}

int SelectLineView::count() const
{
    return m_combo->count();
}

void SelectLineView::clear()
{
    m_combo->clear();
}

void SelectLineView::setComboDisabled(bool disabled)
{
    m_combo->setDisabled(disabled);
}

void SelectLineView::setRequired(bool required)
{
    if (auto* star = findChild<QLabel*>(kStarName))
        star->setVisible(required);
}

void SelectLineView::setLabelText(const QString& text)
{
    if (auto* caption = findChild<QLabel*>(kCaptionName))
        caption->setText(text);
}

void SelectLineView::setLabelIcon(const QString& path)
{
    if (path.isNull())
        return;
    auto* caption = findChild<QLabel*>(kCaptionName);
    if (!caption)
        return;
    const QSize size = ScreenTool::scaleSize(QSize(16, 16));
    caption->setFixedSize(size);
    caption->setPixmap(QPixmap(path).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    caption->show();
}

void SelectLineView::currentIndexChanged(int)
{
    emit selectChanged(currentData());
}
