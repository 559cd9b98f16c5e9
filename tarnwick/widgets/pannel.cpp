#include "tarnwick/widgets/pannel.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QLabel>

using namespace Tarnwick::Widgets;

Pannel::Pannel(const QString& title, QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    auto* caption = new QLabel(QStringLiteral("  %1  ").arg(title), this);
    setObjectName(kPannelName);
    setStyleSheet(QString::fromLatin1(kPannelStyle).arg(ScreenTool::scale(10)));
    caption->move(ScreenTool::scale(30), 0);
    caption->adjustSize();
    caption->setStyleSheet(kPannelCaptionStyle);
}
