#include "tarnwick/widgets/menunavgation.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>

using namespace Tarnwick::Widgets;

MenuNavgation::MenuNavgation(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout();
    auto* group = new MenuItemGroup(QString::fromLatin1(kNavigationGroupName), this);
    group->setStyleSheet(kNavigationGroupStyle);
    group->addItems({
        {kActionSettings, QString::fromUtf8(kTextSettings), QString(), QString()},
        {kActionHelp, QString::fromUtf8(kTextHelp), QString(), QString()},
        {kActionAbout, QString::fromUtf8(kTextAbout), QString(), QString()},
    });
    layout->addWidget(group);
    const int margin = ScreenTool::scale(20);
    layout->setContentsMargins(margin, margin, margin, margin);
    setLayout(layout);
    connect(group, &MenuItemGroup::actioned, this, &MenuNavgation::menuActioned);
}
