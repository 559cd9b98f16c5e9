#pragma once

// The main program's settings: the remembered cloud account, the cloud server
// with its cached address, the time of the last device-list import and the
// logged-in flag. Loaded when created, written by save() and at exit.

#include <QObject>
#include <QString>

class GlobalConfig : public QObject {
    Q_OBJECT
public:
    static GlobalConfig* instance();

    // Loads the stored settings; instance() holds the program's one object.
    explicit GlobalConfig(QObject* parent = nullptr);
    ~GlobalConfig() override; // saves

    void load();
    // Writes the ten keys; false when the store could not be written.
    bool save();

    void setKeepPswd(bool keep) { m_keepPswd = keep; }
    bool keepPswd() const { return m_keepPswd; }
    void setKeepIp(bool keep) { m_keepIp = keep; }
    bool keepIp() const { return m_keepIp; }
    void setUserName(const QString& name) { m_userName = name; }
    QString userName() const { return m_userName; }
    void setPassword(const QString& password) { m_password = password; }
    QString password() const { return m_password; }
    void setDeviceIp(const QString& ip) { m_deviceIp = ip; }
    QString deviceIp() const { return m_deviceIp; }
    void setCustom(bool custom) { m_custom = custom; }
    bool custom() const { return m_custom; }

    // Stores the server and resolves it into the address cache (blocks for the
    // lookup of a host name while events keep running).
    void setServer(const QString& server);
    QString server() const;
    // The cached address, resolved on demand; the server text itself when it
    // does not resolve.
    QString serverIp();
    QString lookupServerIp();

    void setServerPort(int port) { m_serverPort = port; }
    int serverPort() const { return m_serverPort; }
    void setServerPswd(const QString& password) { m_serverPswd = password; }
    QString serverPswd() const { return m_serverPswd; }

    void updateImportTime();
    QString importTime() const { return m_importTime; }

    void setLogged(bool logged);
    bool isLogged() const { return m_logged; }

    // An IP text comes back unchanged; a host name is looked up in a nested
    // event loop for at most kResolveTimeoutMs and gives its first IPv4
    // address (else its first address), or "" when nothing came in time.
    static QString resolveHost(const QString& host);

signals:
    void onLogChanged(bool logged);

private:
    QString m_serverIp;
    bool m_keepPswd = false;
    bool m_keepIp = false;
    bool m_custom = false;
    QString m_userName;
    QString m_password;
    QString m_deviceIp;
    QString m_server;
    QString m_serverPswd;
    QString m_importTime;
    int m_serverPort = 80;
    bool m_logged = false;
};
