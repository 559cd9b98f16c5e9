#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window's device menu and settings menu: what each action number
// does, the panel of the current row that an action works on, the tools and
// the viewer started for it, the list files, and the help, log, settings and
// about boxes.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/endviewerwindow.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/settings/helpview.h"
#include "tarnwick/ui/settings/settingview.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/messagebox.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QVBoxLayout>

#include <cmath>

namespace C = Tarnwick::MainWindow;

namespace {

// A content box sized to 0.8 of the window, as the help and log boxes are.
void sizeToWindow(MessageBox& box, QWidget* window)
{
    box.resize(int(std::lround(window->width() * 0.8)), int(std::lround(window->height() * 0.8)));
}

} // namespace

std::optional<MainFrame::ChosenPanel> MainFrame::chosenPanel(int needs)
{
    ChosenPanel panel;
    panel.row = devicePage()->currentRow();
    const bool hasRecord = panel.row >= 0 && recordOfRow(panel.row, panel.record);
    if (panel.row < 0 || ((needs & NeedRecord) && !hasRecord)) {
        MessageBox::warning(this, C::errorTitle(), C::selectDeviceText(), C::confirm());
        return std::nullopt;
    }
    if ((needs & NeedRecord) || loginMode == C::CloudMode) {
        if (!hasRecord) {
            MessageBox::warning(this, C::errorTitle(), C::notLinkedText(), C::confirm());
            return std::nullopt;
        }
        panel.address = panel.record.lanIp;
    } else {
        panel.address = localDevice->deviceIp();
    }
    if ((needs & NeedAddress) && panel.address.isEmpty()) {
        MessageBox::warning(this, C::errorTitle(), C::notLinkedText(), C::confirm());
        return std::nullopt;
    }
    return panel;
}

void MainFrame::onOperActioned(QString, int action)
{
    switch (action) {
    case C::ActionLogout: {
        MessageBox::Result answer = MessageBox::Button1;
        if (loginMode == C::CloudMode)
            answer = MessageBox::question(this, C::logoutText(), QStringLiteral("确定要注销登录吗?"), C::confirm(),
                                          C::cancel());
        else if (loginMode == C::LocalMode)
            answer = MessageBox::question(this, C::exitText(), QStringLiteral("确定要关闭连接吗?"), C::confirm(),
                                          C::cancel());
        if (answer != MessageBox::Button1)
            return;
        cloudClient->Logout();
        localDevice->unbindDevice();
        break;
    }
    case C::ActionConnect: requestConnect(); break;
    case C::ActionStop: requestStop(); break;
    case C::ActionVnc:
        if (const auto panel = chosenPanel(NeedAddress))
            startVnc(panel->address);
        break;
    case C::ActionPass:
        // The pass-through tool starts even for a record without an address.
        if (const auto panel = chosenPanel(NeedRow))
            VPN_Android::VpnManager::instance()->startTransparent(panel->address);
        break;
    case C::ActionExport: exportFromDialog(); break;
    case C::ActionImport: importFromDialog(); break;
    case C::ActionSave: {
        if (MessageBox::question(this, C::saveTitle(), C::saveQuestionText(), C::confirm(), C::cancel())
            != MessageBox::Button1)
            return;
        const bool saved = DeviceDatas::instance()->addDevice(deviceRows);
        MessageBox::information(this, C::saveTitle(), saved ? C::savedText() : C::saveFailedText(), C::confirm());
        break;
    }
    case C::ActionRefresh: onPageRefresh(devicePage()->currentPage()); break;
    case C::ActionHelp: onShowHelpView(); break;
    case C::ActionDebugLog: showDebugLog(); break;
    case C::ActionFtp:
        // Beside the program; the address is the only argument, no shell.
        if (const auto panel = chosenPanel(NeedRecord | NeedAddress))
            QProcess::startDetached(ProgramPath::brellfin(), {panel->address});
        break;
    default: break;
    }
}

void MainFrame::exportFromDialog()
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(C::exportDialogTitle());
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    qDebug().noquote() << "selected: " + folder;
    if (folder.isEmpty())
        return;
    const QString path = folder + QStringLiteral("/DeviceList.csv");
    if (exportDeviceList(path))
        MessageBox::information(this, C::exportTitle(), C::exportedText() + path, C::confirm());
    else
        MessageBox::warning(this, C::errorTitle(), C::exportFailedText() + path, C::confirm());
}

void MainFrame::importFromDialog()
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(C::importDialogTitle());
    dialog.setNameFilters({QStringLiteral("CSV File(*.csv)"), QStringLiteral("All Files(*.*)")});
    dialog.setViewMode(QFileDialog::Detail);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (path.isEmpty())
        return;
    // A file of the wrong shape ends the import here: nothing of it is read.
    if (!DeviceDatas::isDeviceCsv(path)) {
        MessageBox::warning(this, C::importTitle(), C::badImportText(), C::confirm());
        return;
    }
    QList<stDeviceData> records;
    if (!DeviceDatas::readDeviceCsv(path, records)
        && MessageBox::question(this, C::importTitle(), C::importConflictText(), C::confirm(), C::cancel())
               != MessageBox::Button1)
        return;
    DeviceDatas::instance()->addDevice(DeviceDatas::findByAccountIn(records, userName, password));
    GlobalConfig::instance()->save();
    onUpdateDeviceTable();
    MessageBox::information(this, C::importTitle(), C::importedText(), C::confirm());
}

bool MainFrame::exportDeviceList(const QString& path)
{
    // The export is written whole or not at all, readable by its owner only
    // (it carries the account's password). Unlike the program's own lists it
    // makes no folder: the user chose an existing one.
    if (!QFileInfo(path).absoluteDir().exists() || !DeviceDatas::writeExportCsv(path, deviceRows)) {
        qDebug().noquote() << "SaveData error: " + path;
        return false;
    }
    return true;
}

void MainFrame::showDebugLog()
{
    // The lines still held in memory go to the file first, so the box shows the latest.
    Logger::instance()->flush();
    MessageBox box(this, C::debugLogTitle(), C::clearText(), C::closeButtonText());
    box.setContentWidget(new HelpView(Tarnwick::Constants::kLogFile, &box, true));
    sizeToWindow(box, this);
    if (box.exec() == MessageBox::Button1)
        QFile::remove(Tarnwick::Constants::kLogFile);
}

void MainFrame::onShowHelpView()
{
    MessageBox box(this, C::helpTitle(), QString(), QString());
    box.setContentWidget(new HelpView(Tarnwick::Constants::kHelpFile, &box));
    sizeToWindow(box, this);
    box.exec();
}

void MainFrame::onSettingClicked(QString, int action)
{
    switch (action) {
    case C::ActionSetting: {
        MessageBox box(this, C::settingTitle(), C::settingConfirmText(), QString());
        SettingView* view = new SettingView(&box);
        box.setContentWidget(view);
        box.setButtonAlignment(Qt::AlignRight);
        box.setButton1Handler([view] { return view->saveSettings(); });
        box.exec();
        break;
    }
    case C::ActionHelp: onShowHelpView(); break;
    case C::ActionAbout: {
        MessageBox box(this, C::aboutTitle(), C::aboutConfirmText(), QString());
        QWidget* content = new QWidget(&box);
        QVBoxLayout* layout = new QVBoxLayout(content);
        layout->setAlignment(Qt::AlignLeft);
        layout->addWidget(new QLabel(Tarnwick::Constants::kVersionText, content), 0, Qt::AlignLeft);
        layout->addWidget(new QLabel(Tarnwick::Constants::kReleaseDateText, content), 0, Qt::AlignLeft);
        box.setContentWidget(content);
        box.exec();
        break;
    }
    default: break;
    }
}

void MainFrame::startVnc(QString ip)
{
    if (vncWindow)
        endViewerWindow(vncWindow);
    vncWindow = std::make_unique<VncViewerWindow>(ip);
    vncWindow->show();
}

void MainFrame::stopVnc()
{
    if (vncWindow)
        endViewerWindow(vncWindow);
}
