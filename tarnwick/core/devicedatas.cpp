#include "tarnwick/core/devicedatas.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/filetool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTextCodec>

#include <algorithm>

namespace C = Tarnwick::Constants;

namespace {

bool isBlank(QChar c)
{
    return c.isSpace() && c != QLatin1Char('\r') && c != QLatin1Char('\n');
}

// Writes the byte-order mark and the lines, replacing the file in one step.
bool writeCsvLines(const QString& path, const QStringList& lines, bool ownerOnly)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug().noquote().nospace() << "Write file error: " << path;
        return false;
    }
    if (ownerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray bytes("\xEF\xBB\xBF");
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += '\n';
    }
    // QSaveFile::commit() misses a write error that only shows when its
    // buffer is flushed (a full disk), so flush first.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        qDebug().noquote().nospace() << "Write file error: " << path;
        return false;
    }
    return true;
}

// The whole file, at most maxBytes; false when it cannot be read or holds more.
bool readBounded(const QString& path, qint64 maxBytes, QByteArray& out)
{
    QFile file(path);
    // Binary: carriage returns inside quoted items are data.
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return false;
    // The size is no bound for what a read may bring: a device such as
    // /dev/zero reports 0 and never ends. One byte past the bound tells; the
    // buffer grows by doubling up to there, reading straight into it.
    QByteArray bytes;
    bytes.resize(int(std::min(maxBytes + 1, std::max<qint64>(file.size() + 1, 65536))));
    qint64 used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > maxBytes)
                return false;
            bytes.resize(int(std::min(maxBytes + 1, used * 2)));
        }
        const qint64 got = file.read(bytes.data() + used, bytes.size() - used);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += got;
    }
    bytes.resize(int(used));
    out = bytes;
    return true;
}

QString decodeCsvText(const QByteArray& bytes)
{
    // Every byte counts, zero bytes included, and exactly one leading
    // byte-order mark is the file's own; one more belongs to the first item.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (text.startsWith(QChar(QChar::ByteOrderMark)))
        text.remove(0, 1);
    return text;
}

} // namespace

DeviceDatas* DeviceDatas::instance()
{
    static DeviceDatas datas;
    return &datas;
}

DeviceDatas::DeviceDatas(QObject* parent)
    : QObject(parent)
{
    // A list that does not exist yet is an empty list, not an error.
    if (QFileInfo::exists(C::kDeviceListFile))
        loadDevices(C::kDeviceListFile);
    if (QFileInfo::exists(C::kLocalDeviceListFile))
        loadLocalDevices(C::kLocalDeviceListFile);
}

DeviceDatas::DeviceDatas(Empty, QObject* parent)
    : QObject(parent)
{
}

QString DeviceDatas::localHeader()
{
    return QString::fromUtf8("序号,设备编号,设备名称,IP地址");
}

QString DeviceDatas::exportHeader()
{
    return QString::fromUtf8("序号,用户名,密码,设备编号,设备名称");
}

bool DeviceDatas::parseCsv(const QString& text, QVector<QStringList>& rows, QString* error)
{
    QVector<QStringList> result;
    QStringList row;
    QString item;
    bool quoted = false;
    const int n = text.size();
    auto fail = [error](const QString& message) {
        qDebug().noquote().nospace() << message;
        if (error)
            *error = message;
        return false;
    };
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (isBlank(c) && item.isEmpty()) {
            ++i;
            continue;
        }
        if (quoted) {
            if (c != QLatin1Char('"')) {
                item += c;
                ++i;
                continue;
            }
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                item += QLatin1Char('"');
                i += 2;
                continue;
            }
            // A closing quote: blanks may follow, then a comma or a line end
            // ends the item; both are handled by the unquoted branch.
            int j = i + 1;
            while (j < n && isBlank(text.at(j)))
                ++j;
            quoted = false;
            if (j >= n) {
                i = n;
                break;
            }
            const QChar next = text.at(j);
            if (next != QLatin1Char(',') && next != QLatin1Char('\r') && next != QLatin1Char('\n'))
                return fail(QStringLiteral("csv file format error! item need ','! pos at: %1").arg(j));
            i = j;
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (!item.isEmpty())
                return fail(
                    QStringLiteral("csv file format error! double quote is middle of item! pos at: %1").arg(i + 1));
            quoted = true;
            ++i;
        } else if (c == QLatin1Char(',')) {
            row << item.trimmed();
            item.clear();
            ++i;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            ++i;
            row << item.trimmed();
            result << row;
            row.clear();
            item.clear();
        } else {
            item += c;
            ++i;
        }
    }
    if (quoted)
        return fail(QStringLiteral("csv file format error! item not end when file is end! pos at: eof"));
    if (!row.isEmpty()) {
        row << item.trimmed();
        result << row;
    }
    rows = result;
    return true;
}

bool DeviceDatas::readCsv(const QString& path, QVector<QStringList>& rows, QString* error, qint64 maxBytes)
{
    QByteArray bytes;
    if (!readBounded(path, maxBytes, bytes)) {
        const QString message = QStringLiteral("Load file error: ") + path;
        qDebug().noquote().nospace() << message;
        if (error)
            *error = message;
        return false;
    }
    return parseCsv(decodeCsvText(bytes), rows, error);
}

bool DeviceDatas::isLocalDeviceCsv(const QString& path, qint64 maxBytes)
{
    QVector<QStringList> rows;
    if (!readCsv(path, rows, nullptr, maxBytes) || rows.isEmpty() || rows.first().size() != 4)
        return false;
    if (rows.size() == 1)
        return true;
    for (int i = 1; i < rows.size(); ++i) {
        if (rows[i].size() == 4 && !rows[i][3].isEmpty())
            return true;
    }
    return false;
}

bool DeviceDatas::isDeviceCsv(const QString& path, qint64 maxBytes)
{
    QVector<QStringList> rows;
    if (!readCsv(path, rows, nullptr, maxBytes))
        return false;
    for (const QStringList& row : rows) {
        if (row.size() > 4 && !row[0].isEmpty() && !row[1].isEmpty() && !row[2].isEmpty())
            return true;
    }
    return false;
}

QList<stDeviceData> DeviceDatas::exportRecords(const QVector<QStringList>& rows, bool* noDuplicates)
{
    QList<stDeviceData> out;
    QSet<QString> seen;
    bool result = true;
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList& row = rows[i];
        if (row.size() != 5)
            continue;
        stDeviceData d;
        d.userName = FileTool::fromCsvText(row[1]);
        d.password = FileTool::fromCsvText(row[2]);
        d.deviceNo = FileTool::fromCsvText(row[3]);
        d.deviceName = FileTool::fromCsvText(row[4]);
        if (d.deviceNo.isEmpty())
            continue;
        if (seen.contains(d.deviceNo)) {
            result = false;
            continue;
        }
        seen.insert(d.deviceNo);
        out << d;
    }
    if (noDuplicates)
        *noDuplicates = result;
    return out;
}

void DeviceDatas::loadDevices(const QString& path)
{
    QVector<QStringList> rows;
    if (!readCsv(path, rows))
        return;
    m_index.clear();
    m_devices.clear();
    // An export of the main window (the settings page imports those too) has
    // a header and a row number before the fields.
    if (!rows.isEmpty() && rows.first().join(QLatin1Char(',')) == exportHeader()) {
        for (const stDeviceData& d : exportRecords(rows, nullptr)) {
            m_index.insert(d.deviceNo, m_devices.size());
            m_devices << d;
        }
        return;
    }
    for (const QStringList& row : rows) {
        if (row.size() < 5)
            continue;
        stDeviceData d;
        d.userName = row[0];
        d.password = row[1];
        d.deviceNo = row[2];
        d.deviceName = row[3];
        d.iccid = row[4];
        if (d.deviceNo.isEmpty() || m_index.contains(d.deviceNo))
            continue;
        m_index.insert(d.deviceNo, m_devices.size());
        m_devices << d;
    }
}

bool DeviceDatas::loadLocalDevices(const QString& path)
{
    QVector<QStringList> rows;
    if (!readCsv(path, rows))
        return false;
    m_localDevices.clear();
    m_localNoIndex.clear();
    m_localIpIndex.clear();
    bool result = true;
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList& row = rows[i];
        if (row.size() != 4)
            continue;
        stDeviceData d;
        d.deviceNo = FileTool::fromCsvText(row[1]);
        d.deviceName = FileTool::fromCsvText(row[2]);
        d.ipAddress = FileTool::fromCsvText(row[3]);
        if (d.ipAddress.isEmpty())
            continue;
        if ((!d.deviceNo.isEmpty() && m_localNoIndex.contains(d.deviceNo)) || m_localIpIndex.contains(d.ipAddress)) {
            result = false;
            continue;
        }
        if (!d.deviceNo.isEmpty())
            m_localNoIndex.insert(d.deviceNo, m_localDevices.size());
        m_localIpIndex.insert(d.ipAddress, m_localDevices.size());
        m_localDevices << d;
    }
    m_localNoIndex.clear();
    m_localIpIndex.clear();
    return result;
}

bool DeviceDatas::readDeviceCsv(const QString& path, QList<stDeviceData>& out)
{
    QVector<QStringList> rows;
    if (!readCsv(path, rows))
        return false;
    bool result = true;
    out = exportRecords(rows, &result);
    return result;
}

bool DeviceDatas::addDevice(const QList<stDeviceData>& records)
{
    for (const stDeviceData& r : records) {
        if (r.deviceNo.isEmpty())
            continue;
        const auto it = m_index.constFind(r.deviceNo);
        if (it == m_index.constEnd()) {
            stDeviceData d;
            d.deviceNo = r.deviceNo;
            d.userName = r.userName;
            d.password = r.password;
            d.deviceName = r.deviceName;
            d.iccid = r.iccid;
            m_index.insert(d.deviceNo, m_devices.size());
            m_devices << d;
        } else if (*it >= 0 && *it < m_devices.size()) {
            stDeviceData& d = m_devices[*it];
            d.deviceNo = r.deviceNo;
            d.userName = r.userName;
            d.password = r.password;
            d.iccid = r.iccid;
            d.deviceName = r.deviceName;
        }
    }
    return writeDeviceCsv(C::kDeviceListFile);
}

bool DeviceDatas::writeCloudListCsv(const QString& path, const QList<stDeviceData>& records)
{
    QStringList lines;
    for (const stDeviceData& d : records) {
        lines << QStringList{FileTool::escapeCsvField(d.userName), FileTool::escapeCsvField(d.password),
                             FileTool::escapeCsvField(d.deviceNo), FileTool::escapeCsvField(d.deviceName),
                             FileTool::escapeCsvField(d.iccid)}
                     .join(QLatin1Char(','));
    }
    // The cloud list holds account passwords.
    return writeCsvLines(path, lines, true);
}

bool DeviceDatas::writeLocalListCsv(const QString& path, const QVector<stDeviceData>& records)
{
    QStringList lines{localHeader()};
    int row = 1;
    for (const stDeviceData& d : records) {
        lines << QStringLiteral("%1,%2,%3,%4")
                     .arg(row++)
                     .arg(FileTool::toCsvText(d.deviceNo), FileTool::toCsvText(d.deviceName),
                          FileTool::toCsvText(d.ipAddress));
    }
    return writeCsvLines(path, lines, false);
}

bool DeviceDatas::writeExportCsv(const QString& path, const QList<stDeviceData>& records)
{
    QStringList lines{exportHeader()};
    int row = 1;
    for (const stDeviceData& d : records) {
        lines << QStringLiteral("%1,%2,%3,%4,%5")
                     .arg(row++)
                     .arg(FileTool::toCsvText(d.userName), FileTool::toCsvText(d.password),
                          FileTool::toCsvText(d.deviceNo), FileTool::toCsvText(d.deviceName));
    }
    return writeCsvLines(path, lines, true);
}

bool DeviceDatas::writeDeviceCsv(const QString& path) const
{
    return writeCloudListCsv(path, m_devices);
}

bool DeviceDatas::saveDevices() const
{
    return writeDeviceCsv(C::kDeviceListFile);
}

bool DeviceDatas::writeLocalDeviceCsv(const QString& path) const
{
    return writeLocalListCsv(path, m_localDevices);
}

bool DeviceDatas::saveLocalDevices() const
{
    return writeLocalDeviceCsv(C::kLocalDeviceListFile);
}

int DeviceDatas::indexOf(const QList<stDeviceData>& list, const QString& deviceNo)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].deviceNo == deviceNo)
            return i;
    }
    return -1;
}

int DeviceDatas::indexOf(const QList<stDeviceData*>& list, const QString& deviceNo)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list[i] != nullptr && list[i]->deviceNo == deviceNo)
            return i;
    }
    return -1;
}

int DeviceDatas::indexOfDevice(const QString& deviceNo) const
{
    return m_index.value(deviceNo, -1);
}

bool DeviceDatas::hasDevice(const QString& deviceNo) const
{
    return m_index.value(deviceNo, -1) != -1;
}

bool DeviceDatas::getDevice(const QString& deviceNo, stDeviceData& out) const
{
    const int i = m_index.value(deviceNo, -1);
    if (i < 0 || i >= m_devices.size())
        return false;
    out = m_devices[i];
    return true;
}

bool DeviceDatas::hasLocalIp(const QString& ip) const
{
    return m_localIpIndex.contains(ip);
}

bool DeviceDatas::hasLocalDeviceNo(const QString& deviceNo) const
{
    return !deviceNo.isEmpty() && m_localNoIndex.contains(deviceNo);
}

QList<stDeviceData> DeviceDatas::findByAccount(const QString& userName, const QString& password) const
{
    return findByAccountIn(m_devices, userName, password);
}

QList<stDeviceData> DeviceDatas::findByAccountIn(const QList<stDeviceData>& list, const QString& userName,
                                                 const QString& password)
{
    QList<stDeviceData> out;
    for (const stDeviceData& d : list) {
        if (d.userName == userName && d.password == password)
            out << d;
    }
    return out;
}

QList<stDeviceData> DeviceDatas::search(const QList<stDeviceData>& list, const QString& text)
{
    QList<stDeviceData> out;
    for (const stDeviceData& d : list) {
        if (d.deviceNo.contains(text) || d.deviceName.contains(text) || d.iccid.contains(text))
            out << d;
    }
    return out;
}

QList<stDeviceData*> DeviceDatas::search(const QList<stDeviceData*>& list, const QString& text)
{
    QList<stDeviceData*> out;
    for (stDeviceData* d : list) {
        if (d != nullptr && (d->deviceNo.contains(text) || d->deviceName.contains(text) || d->iccid.contains(text)))
            out << d;
    }
    return out;
}

void DeviceDatas::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    emit searchTextChanged();
}
