#include "tarnwick/ui/mainwindow/clouddevicerows.h"

#include "tarnwick/ui/mainwindow/mainwindowconstants.h"

#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <numeric>
#include <vector>

namespace C = Tarnwick::MainWindow;

int CloudDeviceRows::classifySn(const QString& sn)
{
    if (sn.size() < 5)
        return 0;
    if (sn.at(0) != QLatin1Char('3')) {
        const QChar c = sn.at(4);
        if ((c >= QLatin1Char('1') && c <= QLatin1Char('2')) || (c >= QLatin1Char('5') && c <= QLatin1Char('7')))
            return KindOmber | Net4G;
        if (c >= QLatin1Char('3') && c <= QLatin1Char('4'))
            return KindOmber | NetWifi;
        return KindOmber;
    }
    if (sn.at(1) != QLatin1Char('0'))
        return KindZel;
    if (sn.at(2) == QLatin1Char('2'))
        return KindZel | Net4G;
    if (sn.at(2) == QLatin1Char('3'))
        return KindZel | NetWifi;
    return KindZel;
}

void CloudDeviceRows::deviceTypeTexts(const stDeviceData& record, QString& type, QString& network)
{
    const int kind = classifySn(record.deviceNo);
    const int high = kind & 0xF0;
    if (high == KindZel)
        type = C::typeZel();
    else if (high == KindOmber)
        type = C::typeOmber();
    switch (kind & 0x0F) {
    case NetWifi: network = C::netWifi(); break;
    case Net4G: network = C::net4G(); break;
    default:
        type = C::typeOmber();
        network = high == KindOmber ? C::netUnknown() : C::netWifi();
        break;
    }
    if (!record.netText.isEmpty())
        network = record.netText;
}

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

QString CloudDeviceRows::decodeUnicodeEscapes(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty())
        return text;
    QString out;
    QByteArray plain; // bytes between escapes, decoded together as UTF-8
    bool decoded = false;
    const int length = bytes.size();
    int i = 0;
    while (i < length && bytes.at(i) != '\0') {
        if (i + 5 < length && bytes.at(i) == '\\' && bytes.at(i + 1) == 'u' && isHexDigit(bytes.at(i + 2))
            && isHexDigit(bytes.at(i + 3)) && isHexDigit(bytes.at(i + 4)) && isHexDigit(bytes.at(i + 5))) {
            out += QString::fromUtf8(plain);
            plain.clear();
            out += QChar(ushort(bytes.mid(i + 2, 4).toUInt(nullptr, 16)));
            decoded = true;
            i += 6;
            continue;
        }
        plain += bytes.at(i);
        ++i;
    }
    if (!decoded)
        return text;
    out += QString::fromUtf8(plain);
    return out;
}

QVariantMap CloudDeviceRows::statusCell(int state, bool busy, int busyOperation)
{
    QString text;
    QString color;
    if (busy) {
        const bool connecting = busyOperation == C::VpnConnectRequested || busyOperation == C::VpnConnecting;
        text = connecting ? C::statusLinking() : C::statusStopping();
        color = connecting ? QStringLiteral("#00b050") : QStringLiteral("#ff0000");
    } else if (state == C::CloudOccupied) {
        text = C::statusOccupied();
        color = QStringLiteral("#ff0000");
    } else if (state == C::CloudConnected) {
        text = C::statusLinked();
        color = QStringLiteral("#00b0f0");
    } else if (state == C::CloudOnline) {
        text = C::statusOnline();
        color = QStringLiteral("#0000ff");
    } else {
        text = C::statusOffline();
        color = QStringLiteral("#AAAAAA");
    }
    QVariantMap cell;
    cell.insert(QStringLiteral("text"), text);
    cell.insert(QStringLiteral("color"), color);
    return cell;
}

QVariant CloudDeviceRows::makeDeviceRow(const stDeviceData& record, int index, bool busy, int busyOperation)
{
    QString type;
    QString network;
    deviceTypeTexts(record, type, network);
    QVariantList cells;
    cells.reserve(8);
    cells << (index + 1) << type << network << record.deviceNo << record.deviceName
          << statusCell(record.state, busy, busyOperation)
          << (record.state == C::CloudOccupied ? QString() : record.lanIp) << record.iccid;
    return cells;
}

bool CloudDeviceRows::sameBoxes(const QVector<stBoxData>& a, const QVector<stBoxData>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        const stBoxData& x = a.at(i);
        const stBoxData& y = b.at(i);
        if (x.sn != y.sn || x.spareText != y.spareText || x.alias != y.alias || x.iccid != y.iccid || x.ip != y.ip
            || x.state != y.state || x.iccidNote != y.iccidNote)
            return false;
    }
    return true;
}

QList<stDeviceData> CloudDeviceRows::merge(QList<stDeviceData> rows, const QVector<stBoxData>& boxes,
                                           const QString& userName, const QString& password)
{
    // Device number to place in rows: one lookup per reply entry, not a scan.
    QHash<QString, int> index;
    index.reserve(rows.size() + boxes.size());
    for (int i = rows.size() - 1; i >= 0; --i)
        index.insert(rows.at(i).deviceNo, i); // the first record of a number wins
    for (const stBoxData& box : boxes) {
        const int at = index.value(box.sn, -1);
        const QString name = decodeUnicodeEscapes(box.alias);
        if (at >= 0) {
            stDeviceData& record = rows[at];
            record.state = box.state;
            record.deviceName = name;
            record.lanIp = box.ip;
            record.netText = box.iccidNote;
            if (!box.iccid.isEmpty())
                record.iccid = box.iccid;
        } else {
            stDeviceData record;
            record.state = box.state;
            record.deviceNo = box.sn;
            record.deviceName = name;
            record.iccid = box.iccid;
            record.lanIp = box.ip;
            record.netText = box.iccidNote;
            record.userName = userName;
            record.password = password;
            index.insert(record.deviceNo, rows.size());
            rows.append(record);
        }
    }
    for (int i = 0; i < rows.size(); ++i)
        rows[i].rowNo = i + 1;
    return rows;
}

QString CloudDeviceRows::statusSortKey(const stDeviceData& record, const QString& busySn, int busyOperation)
{
    QChar digit;
    switch (record.state) {
    case C::CloudOccupied: digit = QLatin1Char('5'); break;
    case C::CloudConnected: digit = QLatin1Char('2'); break;
    case C::CloudOnline: digit = QLatin1Char('1'); break;
    default: digit = QLatin1Char('0'); break;
    }
    if (record.deviceNo == busySn)
        digit = (busyOperation == C::VpnConnectRequested || busyOperation == C::VpnConnecting) ? QLatin1Char('3')
                                                                                               : QLatin1Char('4');
    return QString(digit) + record.deviceNo;
}

QString CloudDeviceRows::sortKey(const stDeviceData& record, int column, const QString& busySn, int busyOperation)
{
    QString type;
    QString network;
    switch (column) {
    case 0: return QStringLiteral("%1").arg(record.rowNo, 6, 10, QLatin1Char('0')).trimmed();
    case 1: deviceTypeTexts(record, type, network); return type.trimmed();
    case 2: deviceTypeTexts(record, type, network); return network.trimmed();
    case 3: return record.deviceNo.trimmed();
    case 4: return record.deviceName.trimmed();
    case 5: return statusSortKey(record, busySn, busyOperation).trimmed();
    case 6: return record.lanIp.trimmed();
    default: return record.iccid.trimmed();
    }
}

void CloudDeviceRows::sortRows(QList<stDeviceData>& rows, int column, bool ascending, const QString& busySn,
                               int busyOperation)
{
    // Keys are made once per record, not once per comparison.
    std::vector<QString> keys;
    keys.reserve(size_t(rows.size()));
    for (const stDeviceData& record : rows)
        keys.push_back(sortKey(record, column, busySn, busyOperation));
    std::vector<int> order(size_t(rows.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return ascending ? keys[size_t(a)] < keys[size_t(b)] : keys[size_t(b)] < keys[size_t(a)];
    });
    QList<stDeviceData> sorted;
    sorted.reserve(rows.size());
    for (int i : order)
        sorted.append(rows.at(i));
    rows.swap(sorted);
}
