#include "tarnwick/widgets/customlineview.h"

#include "tarnwick/widgets/formcaption.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QLabel>

using namespace Tarnwick::Widgets;

CustomLineView::CustomLineView(const QString& label, QWidget* widget, QWidget* parent)
    : QWidget(parent)
    , m_label(label)
    , m_widget(widget)
{
    setUp();
}

CustomLineView::CustomLineView(QWidget* parent)
    : QWidget(parent)
{
    setUp();
}

void CustomLineView::setUp()
{
    auto* row = new QHBoxLayout(this);
    row->setAlignment(Qt::AlignVCenter);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* star = newRequiredStar(this);
    auto* caption = new PixmapLabel(QString(), m_label, false, this);
    caption->setAlignment(Qt::AlignRight);
    caption->setObjectName(kCaptionName);
    auto* captionLayout = newCaptionColumn(star, caption);
    captionLayout->setObjectName(kCaptionLayoutName);

    auto* widgetLayout = new QHBoxLayout();
    widgetLayout->setObjectName(kWidgetLayoutName);
    widgetLayout->setContentsMargins(0, 0, 0, 0);
    if (m_widget) {
        m_widget->setParent(this);
        widgetLayout->addWidget(m_widget);
    }

    row->addLayout(captionLayout, m_labelStretch);
    row->addLayout(widgetLayout, m_widgetStretch);
    connect(caption, &PixmapLabel::clicked, this, &CustomLineView::textClicked);
}

void CustomLineView::setLabelAlignment(Qt::Alignment alignment)
{
    if (auto* captionLayout = findChild<QHBoxLayout*>(kCaptionLayoutName))
        captionLayout->setAlignment(alignment | Qt::AlignVCenter);
}

void CustomLineView::setWidget(QWidget* widget)
{
    if (!widget || widget == m_widget)
        return;
    auto* widgetLayout = findChild<QHBoxLayout*>(kWidgetLayoutName);
    if (m_widget) {
        widgetLayout->removeWidget(m_widget);
        m_widget->hide();
        m_widget->deleteLater();
    }
    m_widget = widget;
    widget->setParent(this);
    widgetLayout->addWidget(widget);
    widget->show();
}

void CustomLineView::setStretch(int labelStretch, int widgetStretch)
{
    m_labelStretch = labelStretch;
    m_widgetStretch = widgetStretch;
    if (auto* row = qobject_cast<QHBoxLayout*>(layout())) {
        row->setStretch(0, labelStretch);
        row->setStretch(1, widgetStretch);
    }
}
