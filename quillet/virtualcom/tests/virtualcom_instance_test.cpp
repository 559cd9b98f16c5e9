#include "quillet/virtualcom/virtualcom.h"

#include "testing/serialpair/ptypair.h"
#include "testing/serialpair/tempcomfolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

// The calls that this process made of the fake tool beside it.
QStringList ourCalls(const QString& log)
{
    QFile file(log);
    QStringList calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    const QString prefix = QString::number(getpid()) + QLatin1Char(' ');
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            calls << line.mid(prefix.size());
    }
    return calls;
}

} // namespace

TEST(VirtualComInstance, TheFirstCallMakesItAndRemovesAPairWithEqualNames)
{
    const QString folder = QDir(QCoreApplication::applicationDirPath()).filePath("virtualcom/x64/");
    const QString log = QDir(folder).filePath("calls.log");
    ASSERT_TRUE(QFile::exists(QDir(folder).filePath("setupc.exe")));
    EXPECT_TRUE(ourCalls(log).isEmpty()) << "nothing ran before the first instance() call";

    SerialTesting::TempComFolder com;
    SerialTesting::PtyPair pty;
    ASSERT_TRUE(com.link("COM3", pty.slaveName()));
    VirtualCom* first = VirtualCom::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->toolFolder(), folder);
    EXPECT_EQ(ourCalls(log), (QStringList{"list", "--silent uninstall"}));
    EXPECT_EQ(VirtualCom::instance(), first);
    EXPECT_EQ(ourCalls(log).size(), 2) << "made once";
}
