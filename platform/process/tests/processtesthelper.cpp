// Starts a supervised child and then waits to be killed: the parent-death
// test kills this process and expects the child to go with it.
//   processtesthelper PIDFILE PROGRAM [ARGS...]

#include "platform/process/win32process.h"

#include <QFile>
#include <QStringList>

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Win32Process process;
    if (!process.start(QString::fromLocal8Bit(argv[2]), args))
        return 3;
    QFile file(QString::fromLocal8Bit(argv[1]) + QStringLiteral(".tmp"));
    if (!file.open(QIODevice::WriteOnly))
        return 4;
    file.write(QByteArray::number(static_cast<int>(process.pid())));
    file.close();
    file.rename(QString::fromLocal8Bit(argv[1]));
    for (;;)
        pause();
}
