#include "tarnwick/widgets/clicklabel.h"

ClickLabel::ClickLabel(QWidget* parent)
    : QLabel(parent)
{
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    emit signalClicked();
}
