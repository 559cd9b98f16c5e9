#pragma once

// The local debugging page of the main window: the panels answering on the
// PC's local network in a sortable, filterable table, the selected panel,
// and the actions on it (join its network, VNC, pass-through, file
// transfer), the list files (save, export, import), refresh and leave.

#include <QModelIndex>
#include <QString>
#include <QWidget>

#include <memory>

class LocalDeviceFilterModel;
class LocalDeviceModel;
class LocalNetForwardManager;
class MenuItemGroup;
class QTableView;
class VncViewerWindow;

class LocalDebugView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 10000;

    explicit LocalDebugView(QWidget* parent = nullptr);
    ~LocalDebugView() override;

    // Enters the page with an interface (returns when the first refresh has
    // ended or was cancelled) or, with an empty name, stops it.
    void setNetIntf(const QString& netIntf);
    void cancelRefresh();
    void exitPage();

    // Views for the main window and tests.
    LocalDeviceModel* deviceModel() const { return model; }
    LocalDeviceFilterModel* filterModel() const;
    QTableView* deviceTable() const { return tableView; }
    MenuItemGroup* menu() const { return menuGroup; }
    LocalNetForwardManager* netForwardManager() const { return forwardManager; }
    VncViewerWindow* viewerWindow() const { return vncWindow.get(); }
    QString selectedAddress() const { return selectedIp; }
    QString selectedLanAddress() const { return selectedLanIp; }
    bool isVpnConnected() const { return vpnConnected; }
    bool isRefreshTimerRunning() const { return refreshTimerId != -1; }

    // Whether "联机" may be offered for a panel: both addresses IPv4, none of
    // them null, zero, loopback or broadcast, and the two different.
    static bool isForwardablePair(const QString& ip, const QString& lanIp);

signals:
    void exitPageSignal();
    void cancelComplete();

protected slots:
    void onStartVPN();
    void onStartVNC();
    void onStartTransparent();
    void onExportDevice();
    void onImportDevice();
    void onSaveDevice();
    void onFreshDeviceList();
    void onFileOperate();
    void onChangeVPNMemuState(bool bChecked);
    void onDeviceSelectChange(const QModelIndex& index);
    void onDeviceRefresh();
    void onOfflineNotify(QString ip);
    void onDroplineNotify(QString ip);
    void onBusyNotify(QString ip);
    void onUnsupportNotify(QString ip);
    void onConnectNotify(QString ip, bool bSuc);
    void onFilterChange(const QString& filter);
    void OnActionTriggered(const QString& name, int action);
    void setVpnMenuDisabled(bool bForce);
    void setMenuDisabled(bool disabled);
    // Item 1 as the forwarding manager's state and the selection say:
    // "停止" for the forwarded panel, "联机" otherwise, unavailable while a
    // start or stop is pending or when the selection cannot be forwarded.
    void followForwarding();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QString cell(int sourceRow, int column) const;
    // The address in column 4 of the table's current row; empty without one.
    QString currentAddress() const;
    void applyStatusRule(const QString& status);
    // The row of the model becomes the selection: the tools by its state,
    // item 1 by its addresses and the forwarding.
    void followRow(int sourceRow);
    // The selected panel's row is hidden by the filter: it stays selected,
    // for when the filter shows it again, but no tool acts on it meanwhile.
    void followHiddenSelection();
    bool isForwardingPending() const;
    // Shows the model's new state of ip, sets item 1 and shows the notice.
    void notice(const QString& ip, int code, const QString& text);

    MenuItemGroup* menuGroup = nullptr;
    QTableView* tableView = nullptr;
    QString netIntf;
    LocalDeviceModel* model = nullptr;
    int refreshTimerId = -1;
    QString selectedIp;
    QString selectedLanIp;
    LocalNetForwardManager* forwardManager = nullptr;
    bool vpnConnected = false;
    std::unique_ptr<VncViewerWindow> vncWindow;
};
