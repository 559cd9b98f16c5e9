#pragma once

// The rows of the cloud device table: the type and network of a device
// number, aliases with \uXXXX escapes, the merge of a device-list reply into
// the records saved for the account, the sort keys and the cells of a row.
// Pure functions over value records; the main window keeps the state.

#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/core/devicedatas.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

class CloudDeviceRows {
public:
    // Kind of a device number: high nibble 0x10 Zel, 0x20 Omber; low nibble
    // 1 Wi-Fi, 2 4G, 0 no network type.
    enum Kind { KindZel = 0x10, KindOmber = 0x20, NetWifi = 1, Net4G = 2 };
    static int classifySn(const QString& sn);
    static void deviceTypeTexts(const stDeviceData& record, QString& type, QString& network);
    // "\u4e2d" becomes one UTF-16 unit; other bytes are read as UTF-8. A text
    // without a decodable escape comes back unchanged.
    static QString decodeUnicodeEscapes(const QString& text);

    // The status cell ("text", "color"); busyOperation is the VPN operation
    // of a busy row (1 or 2 connecting, else stopping).
    static QVariantMap statusCell(int state, bool busy, int busyOperation);
    // The eight cells of a row; index is the row's place in the shown list.
    static QVariant makeDeviceRow(const stDeviceData& record, int index, bool busy, int busyOperation);

    // Whether two list replies show the same devices, entry by entry.
    static bool sameBoxes(const QVector<stBoxData>& a, const QVector<stBoxData>& b);
    // The account's saved records with each reply entry merged in by device
    // number (new devices appended), numbered 1..n.
    static QList<stDeviceData> merge(QList<stDeviceData> saved, const QVector<stBoxData>& boxes,
                                     const QString& userName, const QString& password);

    // The status sort key: a digit by state, 3 (busy connecting) or 4 (busy
    // stopping) for the VPN target, then the device number.
    static QString statusSortKey(const stDeviceData& record, const QString& busySn, int busyOperation);
    // The key of a record for a sort column, trimmed.
    static QString sortKey(const stDeviceData& record, int column, const QString& busySn, int busyOperation);
    // Stable sort by the column's keys, text order by UTF-16 code units.
    static void sortRows(QList<stDeviceData>& rows, int column, bool ascending, const QString& busySn,
                         int busyOperation);
};
