#include "tarnwick/ui/settings/dependsapkinstallview.h"

#include "tarnwick/core/androidbeats.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/widgets/pushbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

using namespace Tarnwick::Settings;

DependsApkInstallView::DependsApkInstallView(QWidget* parent)
    : QWidget(parent)
{
    installTimer = new QTimer(this);
    installTimer->setInterval(kInstallPollMs);
    setFixedSize(ScreenTool::scaleSize(QSize(220, 120)));
    setAttribute(Qt::WA_StyledBackground);

    auto* caption = new QLabel(QString::fromUtf8(kVpnAppLabel), this);
    caption->setFixedWidth(ScreenTool::scale(80));
    vpnButton = new PushButton(QString::fromUtf8(kInstall), this);
    vpnButton->setFixedWidth(ScreenTool::scale(60));
    auto* row = new QHBoxLayout;
    row->setAlignment(Qt::AlignCenter);
    row->setSpacing(ScreenTool::scale(6));
    row->addWidget(caption);
    row->addWidget(vpnButton);

    auto* warning = new QLabel(QString::fromUtf8(kVpnMissing), this);
    warning->setStyleSheet(QString::fromLatin1(kWarningStyle));

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(ScreenTool::scale(6));
    const int margin = ScreenTool::scale(10);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(warning);
    layout->addLayout(row);

    checkApk(QString::fromLatin1(kAppKeyVpn));
    connect(vpnButton, &QPushButton::clicked, this, &DependsApkInstallView::onInstallApkVpn);
    connect(installTimer, &QTimer::timeout, this, &DependsApkInstallView::onInstallTimeout);
}

DependsApkInstallView::~DependsApkInstallView()
{
    installTimer->stop();
}

bool DependsApkInstallView::checkApk(const QString& key)
{
    if (key != QLatin1String(kAppKeyVpn))
        return false;
    const bool installed = isVpnApkInstalled();
    vpnButton->setText(QString::fromUtf8(installed ? kInstalled : kInstall));
    vpnButton->setButtonDisabled(installed);
    return installed;
}

bool DependsApkInstallView::isVpnApkInstalled()
{
    return AndroidBeats::isApkInstalled(QString::fromLatin1(kPackageVpn));
}

void DependsApkInstallView::onInstallApkVpn() {}

void DependsApkInstallView::onInstallTimeout()
{
    if (checkApk(appKey))
        installTimer->stop();
}
