#pragma once

// The settings page, shown inside the settings box: which device list a CSV
// file is imported into and the export of either list, the cloud server's
// address, port and password with a test of the server, and the state of the
// Android VPN app. Nothing is stored until the box's button runs
// saveSettings().

#include <QString>
#include <QWidget>

class QTimer;

class SettingView : public QWidget {
    Q_OBJECT
public:
    explicit SettingView(QWidget* parent = nullptr);
    ~SettingView() override;

    // The settings box's button handler: imports the chosen file, then stores
    // the server settings; false (the box stays open) when the port is refused.
    bool saveSettings();
    // Imports the file chosen with onImportFile() into the list the radio
    // buttons name; false when nothing was imported.
    bool importDevices();
    // Shows whether the app of the key is installed; only "vpn" is known.
    bool updateAppButton(const QString& key);

public slots:
    // Lets the server address be edited (true) or not (false); not wired.
    void onValueChanged(bool bCheck);
    void onImportFile();
    void onExportFile();
    void onServerTest();
    // The hidden gesture that leads to the log export: the sixth call in a
    // row, each within a second of the one before, asks for it. Not wired.
    void onLogClicked();
    void onExportLog();
    void onInstallApkVpn();
    void onInstallTimeout();

private:
    QWidget* buildImportPannel();
    QWidget* buildServerPannel();
    QWidget* buildAppPannel();
    // A folder chosen in a folder dialog; empty when cancelled.
    QString chooseFolder();

    qint64 lastLogClick = 0;
    int logClickCount = 0;
    QString appKey;
    QTimer* installTimer = nullptr;
};
