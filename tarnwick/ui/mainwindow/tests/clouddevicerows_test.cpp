#include "tarnwick/ui/mainwindow/clouddevicerows.h"

#include <gtest/gtest.h>

namespace {

stDeviceData record(const QString& sn, int state = 1)
{
    stDeviceData r;
    r.deviceNo = sn;
    r.state = state;
    return r;
}

stBoxData box(const QString& sn, int state = 1, const QString& alias = QString())
{
    stBoxData b;
    b.sn = sn;
    b.state = state;
    b.alias = alias;
    return b;
}

QString typeOf(const QString& sn, QString* network = nullptr)
{
    QString type;
    QString net;
    CloudDeviceRows::deviceTypeTexts(record(sn), type, net);
    if (network)
        *network = net;
    return type;
}

} // namespace

TEST(CloudDeviceRows, ClassifiesDeviceNumbersByPosition)
{
    struct Case {
        const char* sn;
        int kind;
    };
    const Case cases[] = {
        {"30300", 0x11}, {"30200", 0x12}, {"30100", 0x10}, {"31300", 0x10}, {"3X2AB", 0x10}, {"AAAA3", 0x21},
        {"AAAA4", 0x21}, {"AAAA1", 0x22}, {"AAAA2", 0x22}, {"AAAA5", 0x22}, {"AAAA6", 0x22}, {"AAAA7", 0x22},
        {"AAAA8", 0x20}, {"AAAA0", 0x20}, {"AAAAx", 0x20}, {"3030", 0},     {"", 0},         {"2222312345", 0x21},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CloudDeviceRows::classifySn(QString::fromLatin1(c.sn)), c.kind) << c.sn;
}

TEST(CloudDeviceRows, TypeAndNetworkTexts)
{
    QString net;
    EXPECT_EQ(typeOf("30300", &net), "Zel");
    EXPECT_EQ(net, "Wi-Fi");
    EXPECT_EQ(typeOf("30200", &net), "Zel");
    EXPECT_EQ(net, "4G");
    // Zel without a network type shows as Omber on Wi-Fi.
    EXPECT_EQ(typeOf("39999", &net), "Omber");
    EXPECT_EQ(net, "Wi-Fi");
    EXPECT_EQ(typeOf("AAAA3", &net), "Omber");
    EXPECT_EQ(net, "Wi-Fi");
    EXPECT_EQ(typeOf("AAAA6", &net), "Omber");
    EXPECT_EQ(net, "4G");
    EXPECT_EQ(typeOf("AAAA9", &net), "Omber");
    EXPECT_EQ(net, QStringLiteral("未知"));
    EXPECT_EQ(typeOf("303", &net), "Omber");
    EXPECT_EQ(net, "Wi-Fi");

    stDeviceData r = record("30200");
    r.netText = QStringLiteral("Ethernet");
    QString type;
    CloudDeviceRows::deviceTypeTexts(r, type, net);
    EXPECT_EQ(type, "Zel");
    EXPECT_EQ(net, "Ethernet");
}

TEST(CloudDeviceRows, DecodesUnicodeEscapes)
{
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("\\u4e2d\\u6587")), QStringLiteral("中文"));
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("plain text")), QStringLiteral("plain text"));
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QString()), QString());
    // A tail too short for an escape stays as it is.
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("A\\u4e2dB\\u4e")), QStringLiteral("A中B\\u4e"));
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("x\\u12")), QStringLiteral("x\\u12"));
    // Not hexadecimal: kept.
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("\\uZZZZ\\u0041")), QStringLiteral("\\uZZZZA"));
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("\\u+041\\u0041")), QStringLiteral("\\u+041A"));
    // Bytes above 127 beside escapes are read as UTF-8.
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(QStringLiteral("设备\\u4e00号")), QStringLiteral("设备一号"));
    // Walking ends at a zero byte.
    QString withNul = QStringLiteral("\\u0041");
    withNul += QChar(0);
    withNul += QStringLiteral("tail");
    EXPECT_EQ(CloudDeviceRows::decodeUnicodeEscapes(withNul), QStringLiteral("A"));
}

TEST(CloudDeviceRows, RowCellsAndStatus)
{
    stDeviceData r = record("30300", 2);
    r.deviceName = QStringLiteral("name");
    r.lanIp = QStringLiteral("192.168.1.5");
    r.iccid = QStringLiteral("8986");
    QVariantList cells = CloudDeviceRows::makeDeviceRow(r, 4, false, 0).toList();
    ASSERT_EQ(cells.size(), 8);
    EXPECT_EQ(cells[0].toInt(), 5);
    EXPECT_EQ(cells[1].toString(), "Zel");
    EXPECT_EQ(cells[2].toString(), "Wi-Fi");
    EXPECT_EQ(cells[3].toString(), "30300");
    EXPECT_EQ(cells[4].toString(), "name");
    EXPECT_EQ(cells[5].toMap().value("text").toString(), QStringLiteral("占  用"));
    EXPECT_EQ(cells[5].toMap().value("color").toString(), "#ff0000");
    // Occupied: the LAN cell is empty although the record has an address.
    EXPECT_EQ(cells[6].toString(), QString());
    EXPECT_EQ(cells[7].toString(), "8986");

    r.state = 1;
    cells = CloudDeviceRows::makeDeviceRow(r, 0, false, 0).toList();
    EXPECT_EQ(cells[6].toString(), "192.168.1.5");
    EXPECT_EQ(cells[5].toMap().value("text").toString(), QStringLiteral("在  线"));

    EXPECT_EQ(CloudDeviceRows::statusCell(3, false, 0).value("text").toString(), QStringLiteral("联  机"));
    EXPECT_EQ(CloudDeviceRows::statusCell(3, false, 0).value("color").toString(), "#00b0f0");
    EXPECT_EQ(CloudDeviceRows::statusCell(7, false, 0).value("text").toString(), QStringLiteral("离  线"));
    EXPECT_EQ(CloudDeviceRows::statusCell(7, false, 0).value("color").toString(), "#AAAAAA");
    EXPECT_EQ(CloudDeviceRows::statusCell(1, true, 2).value("text").toString(), QStringLiteral("联机中"));
    EXPECT_EQ(CloudDeviceRows::statusCell(1, true, 1).value("color").toString(), "#00b050");
    EXPECT_EQ(CloudDeviceRows::statusCell(1, true, 3).value("text").toString(), QStringLiteral("停止中"));
}

TEST(CloudDeviceRows, SameBoxesComparesTheShownMembers)
{
    QVector<stBoxData> a{box("A1"), box("B2", 2, "x")};
    QVector<stBoxData> b = a;
    EXPECT_TRUE(CloudDeviceRows::sameBoxes(a, b));
    b[1].iccidNote = QStringLiteral("4G");
    EXPECT_FALSE(CloudDeviceRows::sameBoxes(a, b));
    b = a;
    b[0].ip = QStringLiteral("10.0.0.1");
    EXPECT_FALSE(CloudDeviceRows::sameBoxes(a, b));
    b = a;
    b.append(box("C3"));
    EXPECT_FALSE(CloudDeviceRows::sameBoxes(a, b));
    b = a;
    b[0].serverIP = QStringLiteral("1.2.3.4"); // not shown, not compared
    EXPECT_TRUE(CloudDeviceRows::sameBoxes(a, b));
}

TEST(CloudDeviceRows, MergeUpdatesSavedRecordsAndAppendsNewOnes)
{
    stDeviceData saved = record("S1", 0);
    saved.iccid = QStringLiteral("old");
    saved.deviceName = QStringLiteral("saved");
    stBoxData known = box("S1", 3, QStringLiteral("\\u4e2d"));
    known.ip = QStringLiteral("10.1.1.1");
    stBoxData fresh = box("N2", 1, QStringLiteral("new"));
    fresh.iccid = QStringLiteral("8986");
    fresh.iccidNote = QStringLiteral("4G");
    const QList<stDeviceData> rows = CloudDeviceRows::merge({saved}, {known, fresh}, QStringLiteral("user"),
                                                            QStringLiteral("pw"));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].state, 3);
    EXPECT_EQ(rows[0].deviceName, QStringLiteral("中"));
    EXPECT_EQ(rows[0].iccid, "old"); // an empty ICCID keeps the saved one
    EXPECT_EQ(rows[0].lanIp, "10.1.1.1");
    EXPECT_EQ(rows[0].rowNo, 1);
    EXPECT_EQ(rows[1].deviceNo, "N2");
    EXPECT_EQ(rows[1].userName, "user");
    EXPECT_EQ(rows[1].password, "pw");
    EXPECT_EQ(rows[1].netText, "4G");
    EXPECT_EQ(rows[1].rowNo, 2);
}

TEST(CloudDeviceRows, SortsRowNumbersNumericallyAndStatusByKey)
{
    QList<stDeviceData> rows;
    for (int n : {10, 2, 1}) {
        stDeviceData r = record(QStringLiteral("D%1").arg(n));
        r.rowNo = n;
        rows << r;
    }
    CloudDeviceRows::sortRows(rows, 0, true, QString(), 0);
    EXPECT_EQ(rows[0].rowNo, 1);
    EXPECT_EQ(rows[1].rowNo, 2);
    EXPECT_EQ(rows[2].rowNo, 10);
    CloudDeviceRows::sortRows(rows, 0, false, QString(), 0);
    EXPECT_EQ(rows[0].rowNo, 10);

    QList<stDeviceData> byState{record("B", 2), record("A", 3), record("C", 1), record("D", 0)};
    CloudDeviceRows::sortRows(byState, 5, true, QString(), 0);
    EXPECT_EQ(byState[0].deviceNo, "D");
    EXPECT_EQ(byState[1].deviceNo, "C");
    EXPECT_EQ(byState[2].deviceNo, "A");
    EXPECT_EQ(byState[3].deviceNo, "B");
    // The VPN target sorts between connected and occupied.
    EXPECT_EQ(CloudDeviceRows::statusSortKey(record("C", 1), "C", 2), "3C");
    EXPECT_EQ(CloudDeviceRows::statusSortKey(record("C", 1), "C", 3), "4C");
    EXPECT_EQ(CloudDeviceRows::sortKey(record(" X "), 3, QString(), 0), "X");
}
