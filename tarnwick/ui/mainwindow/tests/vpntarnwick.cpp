// Test helper: the program Tarnwick (its start, its window, its event loop
// and its end) with a cloud login and a VPN connection made from its window
// once it shows. Arguments: the cloud service's address, port and server
// password, the user, the password and the panel's device number. Prints
// "tunnel <openvpn pid>" when the VPN reports its address and "connected"
// when the window counts the panel connected; then runs until the program
// ends (a SIGTERM or SIGINT ends it as a confirmed close of the window would;
// a lost display as Qt ends it).

#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/tarnwickstart.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/main/qtleaks.h"

#include <QApplication>
#include <QDebug>
#include <QTimer>

#include <cstdio>
#include <memory>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

namespace {

void say(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

MainFrame* mainFrame()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<MainFrame*>(widget))
            return frame;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7)
        return 2;
    QApplication app(argc, argv);
    const QString server = QString::fromLocal8Bit(argv[1]);
    const int port = QString::fromLocal8Bit(argv[2]).toInt();
    const QString serverPswd = QString::fromLocal8Bit(argv[3]);
    const QString user = QString::fromLocal8Bit(argv[4]);
    const QString pswd = QString::fromLocal8Bit(argv[5]);
    const QString sn = QString::fromLocal8Bit(argv[6]);
    TarnwickStart start;
    if (start.start() != 0)
        return 3;
    GlobalConfig* config = GlobalConfig::instance();
    config->setServer(server);
    config->setServerPort(port);
    config->setServerPswd(serverPswd);

    VPN_Android::VpnManager* vpn = VPN_Android::VpnManager::instance();
    QObject::connect(vpn, &VPN_Android::VpnManager::signalVPNStatus, [vpn](QString state, QString) {
        if (state == QLatin1String("CONNECTED"))
            say("tunnel " + QByteArray::number(vpn->childPid()));
    });
    QTimer::singleShot(0, &app, [user, pswd, sn] {
        MainFrame* frame = mainFrame();
        if (frame == nullptr) {
            QCoreApplication::exit(4);
            return;
        }
        frame->onLoginAction(user, pswd, Tarnwick::MainWindow::CloudMode);
        // Once the list shows the panel: its row chosen, the connect asked
        // for and confirmed; the box of the outcome stays open, so that the
        // end comes while the program waits inside it.
        auto* steps = new QTimer(frame);
        auto phase = std::make_shared<int>(0);
        QObject::connect(steps, &QTimer::timeout, frame, [frame, sn, steps, phase] {
            if (*phase == 0 && frame->tableRecords().size() == 1) {
                *phase = 1;
                frame->devicePage()->selectRow(0);
                DialogDriver driver;
                driver.answerBox(DialogDriver::kButton1);
                frame->onOperActioned(QString(), 1);
            } else if (*phase == 1 && frame->connectedDevice() == sn) {
                *phase = 2;
                steps->stop();
                qDebug() << "connected to the panel";
                say("connected");
            }
        });
        steps->start(50);
    });
    return start.exec();
}
