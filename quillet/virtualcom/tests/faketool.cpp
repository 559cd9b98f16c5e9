#include "quillet/virtualcom/tests/faketool.h"

#include <QFile>

namespace {

const char* kScript = "#!/bin/sh\n"
                      "echo \"$*\" >> calls.log\n"
                      "if [ -f \"$1.hang\" ]; then echo $$ > \"$1.pid\"; exec sleep 600; fi\n"
                      "if [ -f \"$1.out\" ]; then cat \"$1.out\"; fi\n"
                      "exit 0\n";

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

} // namespace

FakeTool::FakeTool()
{
    const QString tool = m_dir.filePath(QStringLiteral("setupc.exe"));
    writeFile(tool, kScript);
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void FakeTool::setOutput(const QString& command, const QByteArray& text) const
{
    writeFile(m_dir.filePath(command + QStringLiteral(".out")), text);
}

void FakeTool::setHang(const QString& command) const
{
    writeFile(m_dir.filePath(command + QStringLiteral(".hang")), "");
}

int FakeTool::hungPid(const QString& command) const
{
    QFile file(m_dir.filePath(command + QStringLiteral(".pid")));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : -1;
}

QStringList FakeTool::calls() const
{
    QFile file(m_dir.filePath(QStringLiteral("calls.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
