#pragma once

// The login page: a banner over two tabs. "远程调试" takes the cloud user
// name and password, "本地调试" picks one of the PC's network interfaces.
// The form does no network work: it emits a request and stays busy until
// the main window calls slotLoginFinished().

#include <QFrame>
#include <QString>
#include <QStringList>

#include <functional>

class CheckLineView;
class PixmapLineEdit;
class QButtonGroup;
class QLabel;
class QPushButton;
class QStackedWidget;
class RadioButton;
class SelectLineView;

class WidgetLogin : public QFrame {
    Q_OBJECT
public:
    // The names of the usable interfaces in the system's order.
    using InterfaceLister = std::function<QStringList()>;

    explicit WidgetLogin(QWidget* parent = nullptr);

    void loadSettings();
    void saveSettings();
    void refreshInterfaces();
    bool isReady() const { return ready; }

    // Interfaces that are not loopback and can broadcast or multicast.
    static QStringList usableInterfaces();
    // The index to select among names: the remembered name when present,
    // else "以太网" when nothing was remembered, else 0; -1 for no names.
    static int pickInterface(const QStringList& names, const QString& remembered);
    // Tests replace the PC's interfaces; an empty lister restores them.
    static void setInterfaceLister(InterfaceLister lister);

signals:
    void loginAction(const QString& user, const QString& pswd, int debugMode);
    void localDebugAction(const QString& netIntf, const QString& netIP);
    void localDebugActionCancel();
    void resizeFrm();

public slots:
    void onRemoteDebugLogin();
    void onLocalDebugLogin();
    void slotLoginFinished();
    void changeMode(int mode);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildForm();
    void setTabsEnabled(bool enabled);

    RadioButton* remoteRadio = nullptr;
    RadioButton* localRadio = nullptr;
    QStackedWidget* pageStack = nullptr;
    PixmapLineEdit* userEdit = nullptr;
    PixmapLineEdit* pswdEdit = nullptr;
    QPushButton* loginButton = nullptr;
    CheckLineView* keepPswdCheck = nullptr;
    SelectLineView* netIntfSelect = nullptr;
    QPushButton* searchButton = nullptr;
    QLabel* statusLabel = nullptr;
    int bannerWidth = 0;
    bool ready = true;
};
