#include "tarnwick/widgets/widgettitle.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

using namespace Tarnwick::Widgets;

namespace {
QString titleButtonStyle(const char* picture)
{
    return QString::fromLatin1(kTitleButtonStyle).arg(QLatin1String(picture));
}
} // namespace

WidgetTitle::WidgetTitle(QWidget* parent)
    : QWidget(parent)
{
    KitResources::init();
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(kTitleBarName);
    setStyleSheet(kTitleBarStyle);
    const int h = ScreenTool::scale(34);
    setMinimumHeight(h);

    auto* logo = new QLabel(this);
    auto* title = new QLabel(this);
    auto* minButton = new QPushButton(this);
    auto* closeButton = new QPushButton(this);
    auto* maxButton = new QPushButton(this);
    maxButton->setObjectName(kMaxButtonName);

    auto* setting = new MenuItem(QString::fromLatin1(kSettingItemName), QString(), QString::fromLatin1(kIconSetting),
                                 this, false);
    setting->setIconSize(ScreenTool::scaleSize(QSize(18, 18)));
    setting->setHoverColor(QString::fromLatin1(kTitleButtonHover));
    setting->setMinimumWidth(h);
    setting->setPopupPosition(MenuItem::BelowLeft);
    setting->addEntry(kActionSettings, QString::fromUtf8(kTextSettings));
    setting->addEntry(kActionHelp, QString::fromUtf8(kTextHelp));
    setting->addEntry(kActionAbout, QString::fromUtf8(kTextAbout));

    logo->setPixmap(QPixmap(Tarnwick::Constants::kLogoImage)
                        .scaled(ScreenTool::scaleSize(QSize(18, 18)), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    title->setText(Tarnwick::Constants::kAppTitle);
    logo->setStyleSheet(kTitleLabelStyle);
    title->setStyleSheet(kTitleLabelStyle);

    minButton->setFixedSize(h, h);
    maxButton->setFixedSize(h, h);
    closeButton->setFixedSize(h, h);
    minButton->setStyleSheet(titleButtonStyle(kImgMin));
    maxButton->setStyleSheet(titleButtonStyle(kImgMax));
    closeButton->setStyleSheet(titleButtonStyle(kImgClose));

    setTabOrder(setting, minButton);
    setTabOrder(minButton, maxButton);
    setTabOrder(maxButton, closeButton);

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(2);
    layout->setContentsMargins(6, 0, 0, 0);
    layout->setAlignment(Qt::AlignLeft);
    layout->addWidget(logo, 0);
    layout->addWidget(title, 10);
    auto* buttons = new QHBoxLayout();
    buttons->setAlignment(Qt::AlignRight);
    buttons->addWidget(setting, 0);
    buttons->addWidget(minButton, 0);
    buttons->addWidget(maxButton, 0);
    buttons->addWidget(closeButton, 0);
    layout->addLayout(buttons, 10);

    connect(setting, &MenuItem::actioned, this, &WidgetTitle::onSettingClicked);
    connect(minButton, &QPushButton::clicked, this, &WidgetTitle::onMinimizeClicked);
    connect(maxButton, &QPushButton::clicked, this, &WidgetTitle::onMaximizeClicked);
    connect(closeButton, &QPushButton::clicked, this, &WidgetTitle::onClosedClicked);
}

void WidgetTitle::setSettingVisible(bool visible)
{
    if (auto* item = findChild<MenuItem*>())
        item->setVisible(visible);
}

void WidgetTitle::setMaxButtonIcon(bool maximisePicture)
{
    if (auto* button = findChild<QPushButton*>(kMaxButtonName))
        button->setStyleSheet(titleButtonStyle(maximisePicture ? kImgMax : kImgNormal));
}
