#include "tarnwick/widgets/formcaption.h"

#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QLabel>

namespace Tarnwick {
namespace Widgets {

QLabel* newRequiredStar(QWidget* parent)
{
    auto* star = new QLabel(QStringLiteral("*"), parent);
    star->setObjectName(kStarName);
    star->setAlignment(Qt::AlignRight);
    star->setStyleSheet(kRedText);
    star->hide();
    return star;
}

QHBoxLayout* newCaptionColumn(QLabel* star, QWidget* caption)
{
    auto* column = new QHBoxLayout();
    column->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    column->addWidget(star);
    column->addWidget(caption);
    return column;
}

} // namespace Widgets
} // namespace Tarnwick
