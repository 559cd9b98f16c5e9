#include "tarnwick/widgets/checklineview.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/formcaption.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>

using namespace Tarnwick::Widgets;

CheckLineView::CheckLineView(const QString& checkText, bool checked, QWidget* parent)
    : QWidget(parent)
{
    setUp(QString(), checkText, checked);
}

CheckLineView::CheckLineView(bool checked, QWidget* parent)
    : QWidget(parent)
{
    setUp(QString(), QString(), checked);
}

CheckLineView::CheckLineView(const QString& label, const QString& checkText, bool checked, QWidget* parent)
    : QWidget(parent)
{
    setUp(label, checkText, checked);
}

void CheckLineView::setUp(const QString& label, const QString& checkText, bool checked)
{
    KitResources::init();
    auto* layout = new QHBoxLayout();
    layout->setAlignment(Qt::AlignLeft | Qt::AlignHCenter);

    auto* box = new QCheckBox(this);
    box->setText(checkText);
    box->setChecked(checked);
    const QSize indicator = ScreenTool::scaleSize(QSize(18, 18));
    box->setMinimumSize(ScreenTool::scaleSize(box->size()));
    if (checkText.isEmpty())
        box->setFixedSize(indicator);
    connect(box, &QCheckBox::stateChanged, this, &CheckLineView::onStateChanged);
    box->setStyleSheet(QString::fromLatin1(kCheckBoxStyle).arg(indicator.width()).arg(indicator.height()));

    if (!label.isEmpty()) {
        auto* star = newRequiredStar(this);
        auto* caption = new QLabel(label, this);
        caption->setObjectName(kCaptionName);
        caption->setAlignment(Qt::AlignRight);
        layout->addLayout(newCaptionColumn(star, caption), 2);
        auto* boxLayout = new QHBoxLayout();
        boxLayout->setContentsMargins(0, 0, 0, 0);
        boxLayout->addWidget(box);
        layout->addLayout(boxLayout, 6);
    } else {
        layout->addWidget(box, 0, Qt::AlignCenter);
    }
    layout->setContentsMargins(0, 0, 0, 0);
    setLayout(layout);
}

void CheckLineView::setChecked(bool checked)
{
    if (auto* box = findChild<QCheckBox*>())
        box->setChecked(checked);
}

bool CheckLineView::isChecked() const
{
    const auto* box = findChild<QCheckBox*>();
    return box && box->isChecked();
}

void CheckLineView::setAlignment(Qt::Alignment alignment)
{
    if (layout())
        layout()->setAlignment(alignment);
}

void CheckLineView::setValue(const QVariant& value)
{
    setChecked(value.toBool());
}

QVariant CheckLineView::value() const
{
    return QVariant(isChecked());
}

void CheckLineView::onStateChanged(int state)
{
    emit valueChanged(state == Qt::Checked);
}
