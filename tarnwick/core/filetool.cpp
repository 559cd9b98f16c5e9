#include "tarnwick/core/filetool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

void ensureParentDir(const QString& path)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
}

bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

bool copyThroughSaveFile(const QString& src, const QString& dst)
{
    QFile in(src);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(dst);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.setPermissions(in.permissions());
    char buffer[65536];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            return false; // the temporary file is discarded, dst stays
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            return false;
    }
    // commit() misses a failed flush of the last buffered bytes.
    return out.flush() && out.commit();
}

} // namespace

bool FileTool::copyFile(const QString& src, const QString& dst)
{
    if (sameFile(src, dst))
        return true;
    ensureParentDir(dst);
    const bool ok = copyThroughSaveFile(src, dst);
    if (!ok)
        qDebug().noquote().nospace() << "Copy file " << ok << ": " << src << " to " << dst;
    return ok;
}

bool FileTool::writeFile(const QString& path, const QString& text, bool append)
{
    ensureParentDir(path);
    const QByteArray bytes = text.toUtf8();
    if (append) {
        QFile file(path);
        // Unbuffered: a full disk or a size limit shows at the write itself,
        // and nothing is left in a buffer to be written out later.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            qDebug().noquote().nospace() << "File write file failed!" << path;
            return false;
        }
        const qint64 oldSize = file.size();
        if (file.write(bytes) != bytes.size()) {
            // A short append leaves the front of the text behind, a torn last
            // line; cut the file back so it holds whole lines only.
            if (!file.resize(oldSize))
                qDebug().noquote().nospace() << "File cut back failed!" << path;
            file.close();
            qDebug().noquote().nospace() << "File write file failed!" << path;
            return false;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            qDebug().noquote().nospace() << "File write file failed!" << path;
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug().noquote().nospace() << "File write file failed!" << path;
        return false;
    }
    return file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

bool FileTool::readFile(const QString& path, qint64 maxBytes, bool fromStart, QString& out)
{
    if (maxBytes < 0)
        return false;
    // Binary: the text is kept byte for byte, carriage returns included.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote().nospace() << "Read file open failed!" << path;
        return false;
    }
    if (maxBytes == 0)
        return true;
    const qint64 size = file.size();
    qint64 toRead = maxBytes;
    if (maxBytes > size) {
        toRead = size;
    } else if (!fromStart && maxBytes < size) {
        file.seek(size - maxBytes);
    }
    QByteArray bytes = file.read(toRead);
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    out = QString::fromUtf8(bytes);
    return !out.isEmpty();
}

bool FileTool::ensureDir(const QString& dir)
{
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return true;
}

QString FileTool::currentDir()
{
    return QStringLiteral("./");
}

QString FileTool::escapeCsvField(const QString& s)
{
    QString result = s;
    result.replace(QLatin1Char('"'), QLatin1String("\"\""));
    if (s.contains(QLatin1Char('"')) || s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('\r'))
        || s.contains(QLatin1Char('\n')))
        return QLatin1Char('"') + result + QLatin1Char('"');
    return result;
}

QString FileTool::toCsvText(const QString& s)
{
    if (s.isEmpty())
        return s;
    return escapeCsvField(QLatin1Char('\'') + s + QLatin1Char('\''));
}

QString FileTool::fromCsvText(const QString& s)
{
    if (s.size() >= 2 && s.startsWith(QLatin1Char('\'')) && s.endsWith(QLatin1Char('\'')))
        return s.mid(1, s.size() - 2);
    return s;
}
