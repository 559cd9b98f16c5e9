#pragma once

// A small panel that says whether the Android VPN app that the system relies
// on is installed: a caption, the install button (grey "已安装" when the app
// is there) and a red warning line.

#include <QString>
#include <QWidget>

class PushButton;
class QTimer;

class DependsApkInstallView : public QWidget {
    Q_OBJECT
public:
    explicit DependsApkInstallView(QWidget* parent = nullptr);
    ~DependsApkInstallView() override;

    // Sets the button after the app of the key; only "vpn" is known. Whether
    // the app is installed.
    bool checkApk(const QString& key);
    static bool isVpnApkInstalled();

public slots:
    void onInstallApkVpn();
    void onInstallTimeout();

private:
    QString appKey;
    QTimer* installTimer = nullptr;
    PushButton* vpnButton = nullptr;
};
