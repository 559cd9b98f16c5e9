#include "programfixture.h"

#include "quillet/app/quilletconstants.h"
#include "testing/main/eventwait.h"
#include "ui_mainwindow.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

void QuilletProgram::SetUp()
{
    std::string reason;
    panel = Fake::FakePassThroughPanel::create(&reason);
    if (!panel)
        GTEST_SKIP() << "the fake panel needs port 127: " << reason;
    Quillet::Timing timing;
    timing.readyTryPauseMs = 100;
    timing.watchdogPeriodMs = 150;
    Quillet::setTiming(timing);
    tool = std::make_unique<VcomTesting::SetupcHarness>();

    // A setup program that logs its arguments and runs the stand-in.
    m_loggingFolder = std::make_unique<TestFolder::TempFolder>("twqatool");
    loggingFolder = m_loggingFolder->path();
    const std::string script = loggingFolder + "/setupc.exe";
    std::ofstream out(script);
    out << "#!/bin/sh\necho \"$*\" >> '" << loggingFolder << "/calls.log'\n"
        << "if [ \"$1\" = list ] && [ -f '" << loggingFolder << "/list.hang' ]; then exec sleep 600; fi\n"
        << "exec '" << QUILLET_SETUPC << "' \"$@\"\n";
    out.close();
    ::chmod(script.c_str(), 0755);
}

void QuilletProgram::TearDown()
{
    window.reset();
    pair.reset();
    tool.reset();
    m_loggingFolder.reset();
}

void QuilletProgram::installPair()
{
    ASSERT_TRUE(tool->installPair("COM3", "COM2"));
}

void QuilletProgram::makeWindow(int toolTimeoutMs)
{
    pair = std::make_unique<VirtualCom>(QString::fromStdString(loggingFolder + "/"), toolTimeoutMs);
    window = std::make_unique<MainWindow>(nullptr, pair.get());
    window->setIp(QString::fromStdString(panel->address()));
    window->show();
}

void QuilletProgram::setListHangs(bool hangs)
{
    const std::string marker = loggingFolder + "/list.hang";
    if (hangs)
        std::ofstream(marker).put('\n');
    else
        std::remove(marker.c_str());
}

std::string QuilletProgram::toolCalls() const
{
    std::ifstream in(loggingFolder + "/calls.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

QString QuilletProgram::status() const
{
    return window->form()->statusLabel->text();
}

int QuilletProgram::statusColour() const
{
    const QColor colour = window->form()->statusLabel->palette().color(QPalette::Active, QPalette::WindowText);
    if (colour == QColor(80, 220, 0))
        return 1;
    if (colour == QColor(220, 20, 50))
        return 0;
    return -1;
}

bool QuilletProgram::spin(int ms, const std::function<bool()>& condition)
{
    return TestWait::waitUntil(condition, ms);
}

void QuilletProgram::clearExit()
{
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}
