#include "tarnwick/ui/settings/settingview.h"

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/core/androidbeats.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/filetool.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/widgets/customlineview.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pannel.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/pushbutton.h"
#include "tarnwick/widgets/radiobutton.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using namespace Tarnwick::Settings;
namespace C = Tarnwick::Constants;

namespace {

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

QSize pannelSize()
{
    return ScreenTool::scaleSize(QSize(440, 125));
}

int rowWidth()
{
    return ScreenTool::scale(260);
}

// stretch 1, the row (stretch 6), the second element (stretch 2), stretch 1.
QHBoxLayout* formRow(QWidget* row, QWidget* second, Qt::Alignment secondAlign = Qt::Alignment())
{
    auto* layout = new QHBoxLayout;
    layout->addStretch(1);
    layout->addWidget(row, 6, Qt::AlignLeft);
    layout->addWidget(second, 2, secondAlign);
    layout->addStretch(1);
    return layout;
}

EditLineView* serverRow(const char* name, const char* caption, const QString& text, QWidget* parent)
{
    auto* row = new EditLineView(u(caption), text, parent);
    row->setObjectName(QString::fromLatin1(name));
    row->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->setFixedWidth(rowWidth());
    return row;
}

// The scroll area of the groups: it asks for room for all of them, and
// where the box cannot give it that (a screen lower than they are) it
// scrolls them downwards only, as wide as they are beside its scroll bar.
class GroupScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        // QScrollArea's own hint stops at 24 lines of text.
        const int frame = 2 * frameWidth();
        return widget() ? widget()->size() + QSize(frame, frame) : QScrollArea::sizeHint();
    }

    QSize minimumSizeHint() const override
    {
        QSize least = QScrollArea::minimumSizeHint();
        if (m_scrollsDown)
            least.setWidth(std::max(least.width(), sizeHint().width() + verticalScrollBar()->sizeHint().width()));
        return least;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QScrollArea::resizeEvent(event);
        const bool scrollsDown = widget() && height() < sizeHint().height();
        if (scrollsDown != m_scrollsDown) {
            m_scrollsDown = scrollsDown;
            updateGeometry();
        }
    }

private:
    bool m_scrollsDown = false;
};

// The port as saving accepts it: 1..65535 written exactly in decimal.
bool parseSavedPort(const QString& text, int& port)
{
    bool ok = false;
    port = text.toInt(&ok, 10);
    if (!ok)
        port = 0;
    return port >= kMinPort && port <= kMaxPort && QString::number(port) == text;
}

} // namespace

SettingView::SettingView(QWidget* parent)
    : QWidget(parent)
{
    installTimer = new QTimer(this);
    installTimer->setInterval(kInstallPollMs);
    setAttribute(Qt::WA_StyledBackground);

    auto* boxWidget = new QWidget(this);
    boxWidget->setObjectName(QString::fromLatin1(kBoxWidgetName));
    boxWidget->setStyleSheet(QString::fromLatin1(kBoxWidgetStyle));
    boxWidget->setFixedSize(pannelSize().width(), ScreenTool::scale(350));
    auto* scroll = new GroupScrollArea(this);
    scroll->setStyleSheet(QString::fromLatin1(kScrollAreaStyle));
    scroll->setWidget(boxWidget);
    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->addWidget(scroll, 0, Qt::AlignCenter);

    auto* boxLayout = new QVBoxLayout(boxWidget);
    boxLayout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);
    boxLayout->addWidget(buildImportPannel(), 0);
    boxLayout->addWidget(buildServerPannel(), 0);
    boxLayout->addWidget(buildAppPannel(), 0);

    updateAppButton(QString::fromLatin1(kAppKeyVpn));
    updateAppButton(QString::fromLatin1(kAppKeyVnc));

    connect(findChild<PushButton*>(QString::fromLatin1(kServerTestName)), &QPushButton::clicked, this,
            &SettingView::onServerTest);
    connect(findChild<PushButton*>(QString::fromLatin1(kButtonAppVpnName)), &QPushButton::clicked, this,
            &SettingView::onInstallApkVpn);
    connect(installTimer, &QTimer::timeout, this, &SettingView::onInstallTimeout);
}

SettingView::~SettingView()
{
    installTimer->stop();
}

QWidget* SettingView::buildImportPannel()
{
    auto* pannel = new Pannel(u(kPannelImport));
    pannel->setFixedSize(pannelSize());
    auto* layout = new QVBoxLayout(pannel);
    layout->addSpacing(ScreenTool::scale(20));

    auto* remote = new RadioButton(pannel);
    remote->setObjectName(QString::fromLatin1(kRemoteBtnName));
    remote->setText(u(kRemoteText));
    auto* local = new RadioButton(pannel);
    local->setObjectName(QString::fromLatin1(kLocalBtnName));
    local->setText(u(kLocalText));
    auto* group = new QButtonGroup(pannel);
    group->setExclusive(true);
    remote->addToGroup(group, 0);
    local->addToGroup(group, 1);
    remote->setChecked(true);
    auto* radioRow = new QHBoxLayout;
    radioRow->setAlignment(Qt::AlignCenter);
    radioRow->addWidget(remote, 0, Qt::AlignCenter);
    radioRow->addSpacerItem(new QSpacerItem(ScreenTool::scale(30), 0));
    radioRow->addWidget(local, 0, Qt::AlignCenter);
    layout->addLayout(radioRow);

    auto* file = new EditLineView(u(kImportFileCaption), QString(), pannel);
    file->setObjectName(QString::fromLatin1(kImportFileName));
    file->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    file->setReadOnly(true);
    file->setFixedWidth(rowWidth());
    auto* icons = new QWidget(pannel);
    icons->setFixedWidth(ScreenTool::scale(70));
    auto* iconLayout = new QHBoxLayout(icons);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconLayout->setSpacing(0);
    const QSize iconSize = ScreenTool::scaleSize(QSize(24, 24));
    auto* importIcon = new PixmapLabel(u(kIconImport), u(kIconImportDown), QString(), false, icons);
    importIcon->setToolTip(u(kImportTip));
    importIcon->setIconSize(iconSize);
    auto* exportIcon = new PixmapLabel(u(kIconExport), u(kIconExportDown), QString(), false, icons);
    exportIcon->setToolTip(u(kExportTip));
    exportIcon->setIconSize(iconSize);
    iconLayout->addWidget(importIcon);
    iconLayout->addWidget(exportIcon);
    layout->addLayout(formRow(file, icons, Qt::AlignLeft));
    connect(importIcon, &PixmapLabel::clicked, this, &SettingView::onImportFile);
    connect(exportIcon, &PixmapLabel::clicked, this, &SettingView::onExportFile);

    const QString stored = GlobalConfig::instance()->importTime();
    auto* time = new QLabel(stored.trimmed().isEmpty() ? u(kImportTimeNone) : stored);
    time->setObjectName(QString::fromLatin1(kImportTimeName));
    auto* timeRow = new CustomLineView(u(kImportTimeCaption), time, pannel);
    timeRow->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeRow->setFixedWidth(rowWidth());
    layout->addLayout(formRow(timeRow, new QWidget(pannel), Qt::AlignLeft));
    layout->addStretch(1);
    return pannel;
}

QWidget* SettingView::buildServerPannel()
{
    GlobalConfig* config = GlobalConfig::instance();
    auto* pannel = new Pannel(u(kPannelServer));
    pannel->setFixedSize(pannelSize().width(), ScreenTool::scale(140));
    auto* layout = new QVBoxLayout(pannel);
    layout->addSpacing(ScreenTool::scale(20));

    auto* server = serverRow(kEditServerName, kServerCaption, config->server(), pannel);
    auto* test = new PushButton(u(kTestButton), pannel);
    test->setObjectName(QString::fromLatin1(kServerTestName));
    layout->addLayout(formRow(server, test));

    auto* port = serverRow(kEditServerPortName, kServerPortCaption, QStringLiteral("%1").arg(config->serverPort()),
                           pannel);
    layout->addLayout(formRow(port, new QWidget(pannel)));

    auto* pswd = serverRow(kEditServerPswdName, kServerPswdCaption, config->serverPswd(), pannel);
    pswd->setPasswordMode(true);
    pswd->setPswdIconVisible(true);
    layout->addLayout(formRow(pswd, new QWidget(pannel)));
    layout->addStretch(1);
    return pannel;
}

QWidget* SettingView::buildAppPannel()
{
    auto* pannel = new Pannel(u(kPannelThirdParty));
    pannel->setFixedSize(pannelSize().width(), ScreenTool::scale(80));
    auto* button = new PushButton(u(kInstall));
    button->setObjectName(QString::fromLatin1(kButtonAppVpnName));
    auto* row = new CustomLineView(u(kVpnAppCaption), button, pannel);
    row->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->setFixedWidth(rowWidth());
    auto* rowLayout = new QHBoxLayout;
    rowLayout->addStretch(1);
    rowLayout->addWidget(row, 6, Qt::AlignLeft);
    rowLayout->addStretch(3);
    auto* layout = new QVBoxLayout(pannel);
    layout->addStretch(1);
    layout->addLayout(rowLayout);
    layout->addStretch(1);
    return pannel;
}

bool SettingView::updateAppButton(const QString& key)
{
    if (key != QLatin1String(kAppKeyVpn))
        return false;
    auto* button = findChild<PushButton*>(QString::fromLatin1(kButtonAppVpnName));
    const bool installed = AndroidBeats::isApkInstalled(QString::fromLatin1(kPackageVpn));
    if (button != nullptr) {
        button->setText(u(installed ? kInstalled : kInstall));
        button->setButtonDisabled(installed);
    }
    return installed;
}

void SettingView::onValueChanged(bool bCheck)
{
    if (auto* server = findChild<EditLineView*>(QString::fromLatin1(kEditServerName)))
        server->setReadOnly(!bCheck);
}

void SettingView::onImportFile()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setWindowTitle(u(kImportDialogTitle));
    dialog.setNameFilters({u(kFilterCsv), u(kFilterAll)});
    dialog.setViewMode(QFileDialog::Detail);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();

    const bool remote = findChild<RadioButton*>(QString::fromLatin1(kRemoteBtnName))->isChecked();
    const bool valid = remote ? DeviceDatas::isDeviceCsv(path) : DeviceDatas::isLocalDeviceCsv(path);
    if (!valid) {
        MessageBox::warning(this, u(kTitleImport), u(kWrongFileFormat), u(kConfirm), Qt::AlignCenter);
        return;
    }
    if (MessageBox::question(this, u(kTitleImport), u(kReplaceQuestion), u(kConfirm), u(kCancel), Qt::AlignCenter)
        == MessageBox::Button1)
        findChild<EditLineView*>(QString::fromLatin1(kImportFileName))->setText(path);
}

bool SettingView::importDevices()
{
    const QString path = findChild<EditLineView*>(QString::fromLatin1(kImportFileName))->text();
    if (path.isEmpty())
        return false;
    DeviceDatas* datas = DeviceDatas::instance();
    GlobalConfig* config = GlobalConfig::instance();
    if (findChild<RadioButton*>(QString::fromLatin1(kRemoteBtnName))->isChecked()) {
        datas->loadDevices(path);
        datas->saveDevices();
        config->save();
        config->updateImportTime();
        return true;
    }

    // A refused clash must leave the saved list as it was, in memory too: keep
    // a copy of it for when its file cannot be read back.
    QTemporaryDir keep;
    const QString kept = keep.isValid() ? keep.filePath(QStringLiteral("kept.csv")) : QString();
    const bool haveCopy = !kept.isEmpty() && datas->writeLocalDeviceCsv(kept);
    if (!datas->loadLocalDevices(path)
        && MessageBox::question(this, u(kTitleImport), u(kConflictQuestion), u(kConfirm), u(kCancel), Qt::AlignCenter)
               != MessageBox::Button1) {
        if (!datas->loadLocalDevices(C::kLocalDeviceListFile) && haveCopy)
            datas->loadLocalDevices(kept);
        return false;
    }
    datas->saveLocalDevices();
    config->updateImportTime();
    return true;
}

bool SettingView::saveSettings()
{
    importDevices();

    const QString server = findChild<EditLineView*>(QString::fromLatin1(kEditServerName))->text().trimmed();
    const QString password = findChild<EditLineView*>(QString::fromLatin1(kEditServerPswdName))->text();
    const QString portText = findChild<EditLineView*>(QString::fromLatin1(kEditServerPortName))->text().trimmed();
    int port = 0;
    if (!parseSavedPort(portText, port)) {
        MessageBox::warning(this, u(kTitleError), u(kPortRange), u(kConfirm), Qt::AlignCenter);
        return false;
    }
    if (server.isEmpty())
        MessageBox::information(this, u(kTitleMessage), u(kEmptyServerNotice), u(kConfirm), Qt::AlignCenter);
    GlobalConfig* config = GlobalConfig::instance();
    config->setServerPort(port);
    config->setServer(server);
    config->setServerPswd(password);
    config->save();
    return true;
}

void SettingView::onServerTest()
{
    auto* button = findChild<PushButton*>(QString::fromLatin1(kServerTestName));
    button->setButtonDisabled(true);
    button->setText(QString::fromLatin1(kTestButtonPattern).arg(u(kTesting)));

    const QString server = findChild<EditLineView*>(QString::fromLatin1(kEditServerName))->text().trimmed();
    const QString portText = findChild<EditLineView*>(QString::fromLatin1(kEditServerPortName))->text().trimmed();
    const QString address = GlobalConfig::resolveHost(server);
    const int port = portText.toInt(nullptr, 10);
    if (address.isEmpty()) {
        MessageBox::warning(this, u(kTitleServerTest), u(kServerEmpty), u(kConfirm), Qt::AlignCenter);
    } else if (port < kMinPort || port > kMaxPort) {
        MessageBox::warning(this, u(kTitleServerTest), u(kPortRange), u(kConfirm), Qt::AlignCenter);
    } else if (VPNClient::instance().TestServer(QStringLiteral("%1:%2").arg(address).arg(port))) {
        MessageBox::information(this, u(kTitleServerTest), u(kServerTestOk), u(kConfirm), Qt::AlignCenter);
    } else {
        MessageBox::warning(this, u(kTitleServerTest), u(kServerTestFailed), u(kConfirm), Qt::AlignCenter);
    }
    button->setButtonDisabled(false);
    button->setText(QString::fromLatin1(kTestButtonPattern).arg(u(kTest)));
}

QString SettingView::chooseFolder()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setWindowTitle(u(kExportDialogTitle));
    dialog.setViewMode(QFileDialog::Detail);
    // Folders only (the deprecated DirectoryOnly mode is exactly this).
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString folder = dialog.selectedFiles().first();
    qDebug().noquote() << "selected: " + folder;
    return folder;
}

void SettingView::onExportFile()
{
    const bool remote = findChild<RadioButton*>(QString::fromLatin1(kRemoteBtnName))->isChecked();
    DeviceDatas* datas = DeviceDatas::instance();
    if (remote && datas->count() == 0) {
        MessageBox::warning(this, u(kTitleError), u(kNoDevices), u(kConfirm), Qt::AlignCenter);
        return;
    }
    const QString folder = chooseFolder();
    if (folder.isEmpty())
        return;

    QString target;
    bool ok = false;
    if (remote) {
        target = folder + QLatin1String(kExportedListName);
        ok = FileTool::copyFile(C::kDeviceListFile, target);
    } else {
        target = folder + QLatin1String(kExportedLocalListName);
        if (QFileInfo(C::kLocalDeviceListFile).isFile())
            ok = FileTool::copyFile(C::kLocalDeviceListFile, target);
        else
            ok = datas->writeLocalDeviceCsv(target);
    }
    if (ok)
        MessageBox::information(this, u(kTitleExport), u(kListExported) + target, u(kConfirm), Qt::AlignCenter);
    else
        MessageBox::warning(this, u(kTitleError), u(kListExportFailed) + target, u(kConfirm), Qt::AlignCenter);
}

void SettingView::onExportLog()
{
    const QString folder = chooseFolder();
    if (folder.isEmpty())
        return;
    const QString target = folder + QLatin1String(kExportedLogName);
    if (Logger::exportLog(target))
        MessageBox::information(this, u(kTitleExport), u(kLogExported) + target, u(kConfirm), Qt::AlignCenter);
    else
        MessageBox::warning(this, u(kTitleError), u(kLogExportFailed) + target, u(kConfirm), Qt::AlignCenter);
}

void SettingView::onLogClicked()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 gap = now - lastLogClick;
    lastLogClick = now;
    if (gap > kLogClickGapMs) {
        logClickCount = 0;
        return;
    }
    if (++logClickCount <= kLogClickLimit)
        return;
    logClickCount = 0;
    if (MessageBox::question(this, u(kTitleLogExport), u(kLogExportQuestion), u(kConfirm), u(kCancel), Qt::AlignCenter)
        == MessageBox::Button1)
        onExportLog();
}

void SettingView::onInstallApkVpn() {}

void SettingView::onInstallTimeout()
{
    if (updateAppButton(appKey))
        installTimer->stop();
}
