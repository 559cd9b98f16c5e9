#include "tarnwick/widgets/editlineview.h"

#include "tarnwick/widgets/formcaption.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QLabel>

using namespace Tarnwick::Widgets;

EditLineView::EditLineView(const QString& label, const QString& text, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setAlignment(Qt::AlignVCenter);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* star = newRequiredStar(this);
    auto* caption = new QLabel(label, this);
    caption->setObjectName(kCaptionName);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* captionLayout = newCaptionColumn(star, caption);
    captionLayout->setObjectName(kCaptionLayoutName);

    auto* inputLayout = new QHBoxLayout();
    auto* edit = new PixmapLineEdit(this);
    edit->setIcon(QString());
    edit->setBackground(QString::fromLatin1(kWhite));
    edit->setText(text);
    inputLayout->addWidget(edit);

    row->addLayout(captionLayout, 1);
    row->addLayout(inputLayout, 3);
}

PixmapLineEdit* EditLineView::lineEdit() const
{
    return findChild<PixmapLineEdit*>();
}

void EditLineView::setLabelText(const QString& text)
{
    if (auto* caption = findChild<QLabel*>(kCaptionName))
        caption->setText(text);
}

void EditLineView::setLabelAlignment(Qt::Alignment alignment)
{
    if (auto* captionLayout = findChild<QHBoxLayout*>(kCaptionLayoutName))
        captionLayout->setAlignment(alignment | Qt::AlignVCenter);
}

void EditLineView::setRequired(bool required)
{
    if (auto* star = findChild<QLabel*>(kStarName))
        star->setVisible(required);
}

void EditLineView::setText(const QString& text)
{
    lineEdit()->setText(text);
}

QString EditLineView::text() const
{
    return lineEdit()->text();
}

void EditLineView::setPasswordMode(bool password)
{
    lineEdit()->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
}

void EditLineView::setPswdIconVisible(bool visible)
{
    lineEdit()->setPswdIconVisible(visible);
}

void EditLineView::setReadOnly(bool readOnly)
{
    lineEdit()->setReadOnly(readOnly);
    lineEdit()->setBackground(QString::fromLatin1(readOnly ? kReadOnlyBackground : kWhite));
}
