#include "tarnwick/core/devicedatas.h"

#include "testing/main/eventwait.h"
#include "testing/main/filesizelimit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>

namespace {

// Texts that put every quoting rule to work.
const QStringList kHostile = {
    QString::fromUtf8("设备,一号"), QStringLiteral("say \"hi\""), QStringLiteral("two\r\nlines"),
    QStringLiteral("cr\ronly"),     QStringLiteral("lf\nonly"),   QString::fromUtf8("中文\"，,\""),
    QStringLiteral("plain"),        QStringLiteral("'quoted'"),
};

stDeviceData record(int i, int shift)
{
    auto pick = [i, shift](int field) { return kHostile[(i + field + shift) % kHostile.size()] + QString::number(i); };
    stDeviceData d;
    d.userName = pick(0);
    d.password = pick(1);
    d.deviceNo = pick(2);
    d.deviceName = pick(3);
    d.iccid = pick(4);
    d.ipAddress = pick(5);
    return d;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QVector<QStringList> parse(const QString& text, bool expectOk = true)
{
    QVector<QStringList> rows;
    QString error;
    EXPECT_EQ(DeviceDatas::parseCsv(text, rows, &error), expectOk) << error.toStdString();
    return rows;
}

QString parseError(const QString& text)
{
    QVector<QStringList> rows{{QStringLiteral("unchanged")}};
    QString error;
    EXPECT_FALSE(DeviceDatas::parseCsv(text, rows, &error));
    EXPECT_EQ(rows, (QVector<QStringList>{{QStringLiteral("unchanged")}}));
    return error;
}

// The four fields that every list format keeps.
void expectSameAccount(const stDeviceData& got, const stDeviceData& want, int row)
{
    EXPECT_EQ(got.userName, want.userName) << row;
    EXPECT_EQ(got.password, want.password) << row;
    EXPECT_EQ(got.deviceNo, want.deviceNo) << row;
    EXPECT_EQ(got.deviceName, want.deviceName) << row;
}

// The process's resident size in KiB, from /proc/self/status.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Every message of the scope.
class MessageLog {
public:
    MessageLog()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&MessageLog::handler);
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& text) { s_lines << text; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

class DeviceDatasTest : public ::testing::Test {
protected:
    QString file(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST(CsvReader, QuotedLastFieldEndsTheRow)
{
    EXPECT_EQ(parse(QStringLiteral("\"a\",\"b\"\r\n\"c\",\"d\"\n\"e\",\"f\"\r\"g\",h\n")),
              (QVector<QStringList>{{"a", "b"}, {"c", "d"}, {"e", "f"}, {"g", "h"}}));
    EXPECT_EQ(parse(QStringLiteral("x,\"y\"  \n")), (QVector<QStringList>{{"x", "y"}}));
}

TEST(CsvReader, RowsItemsAndBlanks)
{
    EXPECT_EQ(parse(QStringLiteral("  a , b\t,\" c \" \n\n,\n")),
              (QVector<QStringList>{{"a", "b", "c"}, {""}, {"", ""}}));
    // A last line without a comma and without a line end is not a row.
    EXPECT_EQ(parse(QStringLiteral("a\nb")), (QVector<QStringList>{{"a"}}));
    EXPECT_EQ(parse(QStringLiteral("a\nb,c")), (QVector<QStringList>{{"a"}, {"b", "c"}}));
    EXPECT_EQ(parse(QStringLiteral("\"\",\"\"\"\",\"a\"\"b\"\n")), (QVector<QStringList>{{"", "\"", "a\"b"}}));
    EXPECT_EQ(parse(QStringLiteral("x,\"unterminated at the end\"")),
              (QVector<QStringList>{{"x", "unterminated at the end"}}));
}

TEST(CsvReader, ErrorTextsAndPositions)
{
    EXPECT_EQ(parseError(QStringLiteral("ab\"c\n")),
              QStringLiteral("csv file format error! double quote is middle of item! pos at: 3"));
    EXPECT_EQ(parseError(QString::fromUtf8("中文,x\"\n")),
              QStringLiteral("csv file format error! double quote is middle of item! pos at: 5"));
    EXPECT_EQ(parseError(QStringLiteral("a,\"b\" x\n")),
              QStringLiteral("csv file format error! item need ','! pos at: 6"));
    EXPECT_EQ(parseError(QStringLiteral("\"b\"\"x")),
              QStringLiteral("csv file format error! item not end when file is end! pos at: eof"));
    EXPECT_EQ(parseError(QStringLiteral("a,\"b\nc\n")),
              QStringLiteral("csv file format error! item not end when file is end! pos at: eof"));
}

TEST_F(DeviceDatasTest, ReaderRefusesMissingAndOversizedFiles)
{
    QVector<QStringList> rows;
    QString error;
    EXPECT_FALSE(DeviceDatas::readCsv(file("none.csv"), rows, &error));
    EXPECT_EQ(error, QStringLiteral("Load file error: ") + file("none.csv"));
    QFile big(file("big.csv"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(DeviceDatas::kMaxCsvBytes + 1)); // sparse
    big.close();
    EXPECT_FALSE(DeviceDatas::readCsv(file("big.csv"), rows, &error));
    EXPECT_EQ(error, QStringLiteral("Load file error: ") + file("big.csv"));
    EXPECT_TRUE(rows.isEmpty());
}

// A device such as /dev/zero has size 0 and no end; any file dialog can pick it.
TEST_F(DeviceDatasTest, ADeviceWithoutEndIsRefusedAtTheBound)
{
    const long before = residentKiB();
    std::atomic<bool> done{false};
    bool read = true;
    bool local = true;
    bool cloud = true;
    QString error;
    QElapsedTimer clock;
    clock.start();
    std::thread reader([&] {
        QVector<QStringList> rows;
        // The reader's own bound once; the two checks that read through it
        // with a small one, so that the test's work stays small on a busy
        // machine (each 100 MiB read costs seconds of processor time).
        read = DeviceDatas::readCsv(QStringLiteral("/dev/zero"), rows, &error);
        constexpr qint64 kSmallBound = 1024 * 1024;
        local = DeviceDatas::isLocalDeviceCsv(QStringLiteral("/dev/zero"), kSmallBound);
        cloud = DeviceDatas::isDeviceCsv(QStringLiteral("/dev/zero"), kSmallBound);
        done = true;
    });
    // An unbounded read would take the machine's memory: stop the process
    // long before that. The one read of 100 MiB took 35-50 s on a machine
    // loaded ten times over; the wait is for a machine slower still.
    constexpr long kBoundKiB = 1024L * 1024L;
    long peak = before;
    TestWait::waitUntil(
        [&] {
            peak = std::max(peak, residentKiB());
            if (peak - before > kBoundKiB) {
                std::fprintf(stderr, "reading /dev/zero grew by %ld KiB\n", peak - before);
                std::abort();
            }
            return done.load();
        },
        240000);
    ASSERT_TRUE(done.load()) << "reading /dev/zero did not end";
    reader.join();
    const qint64 elapsed = clock.elapsed();
    EXPECT_FALSE(read);
    EXPECT_EQ(error, QStringLiteral("Load file error: /dev/zero"));
    EXPECT_FALSE(local);
    EXPECT_FALSE(cloud);
    EXPECT_LT(peak - before, kBoundKiB);
    std::printf("reads of /dev/zero refused in %lld ms, resident size grew by %ld KiB at most\n",
                static_cast<long long>(elapsed), peak - before);
}

// A zero byte (a name holding U+0000, or a block of zeros left by a crash)
// and a first name that begins with U+FEFF are data like any other.
TEST_F(DeviceDatasTest, ZeroBytesAndALeadingMarkSurviveLoadSaveLoad)
{
    QList<stDeviceData> records;
    for (int i = 0; i < 6; ++i)
        records << record(i, 1);
    records[0].userName = QChar(QChar::ByteOrderMark) + QStringLiteral("alice");
    records[1].deviceName = QStringLiteral("before") + QChar(0) + QStringLiteral("after");
    records[2].iccid = QString(4, QChar(0));
    records[3].userName = QChar(QChar::ByteOrderMark) + QString::fromUtf8("第二");
    const QString first = file("first.csv");
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(first, records));
    const QByteArray bytes = readAll(first);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF\xEF\xBB\xBF"
                                 "alice,"));
    ASSERT_TRUE(bytes.contains(QByteArray("before\0after", 12)));

    DeviceDatas store{DeviceDatas::Empty{}};
    store.loadDevices(first);
    ASSERT_EQ(store.count(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        expectSameAccount(store.devices()[i], records[i], i);
        EXPECT_EQ(store.devices()[i].iccid, records[i].iccid) << i;
    }
    ASSERT_TRUE(store.writeDeviceCsv(file("second.csv")));
    EXPECT_EQ(readAll(file("second.csv")), bytes);
    DeviceDatas again{DeviceDatas::Empty{}};
    again.loadDevices(file("second.csv"));
    ASSERT_EQ(again.count(), records.size());
    EXPECT_EQ(again.devices()[0].userName, records[0].userName);
    EXPECT_EQ(again.devices()[1].deviceName, records[1].deviceName);

    // The local list reads through the same reader.
    QVector<stDeviceData> local{records[1], records[2]};
    local[0].ipAddress = QStringLiteral("10.0.0.1");
    local[1].ipAddress = QStringLiteral("10.0.0.2");
    local[1].deviceNo = QString(3, QChar(0));
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(file("local.csv"), local));
    EXPECT_TRUE(store.loadLocalDevices(file("local.csv")));
    ASSERT_EQ(store.localDevices().size(), 2);
    EXPECT_EQ(store.localDevices()[0].deviceName, local[0].deviceName);
    EXPECT_EQ(store.localDevices()[1].deviceNo, local[1].deviceNo);
}

TEST_F(DeviceDatasTest, MissingListsAreEmptyAndUnreadableOnesAreReported)
{
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    {
        MessageLog log;
        DeviceDatas store;
        EXPECT_EQ(store.count(), 0);
        EXPECT_TRUE(store.localDevices().isEmpty());
        EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
    }
    // A list that exists and cannot be read is still an error.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("data/DeviceList.csv")));
    {
        MessageLog log;
        DeviceDatas store;
        EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Load file error: data/DeviceList.csv")});
    }
}

TEST_F(DeviceDatasTest, CloudListRoundTripKeepsEveryFieldAndIsPrivate)
{
    QList<stDeviceData> records;
    for (int i = 0; i < 16; ++i)
        records << record(i, 0);
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(file("data/DeviceList.csv"), records));
    const QByteArray bytes = readAll(file("data/DeviceList.csv"));
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file("data/DeviceList.csv")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    DeviceDatas store{DeviceDatas::Empty{}};
    store.loadDevices(file("data/DeviceList.csv"));
    ASSERT_EQ(store.count(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        expectSameAccount(store.devices()[i], records[i], i);
        EXPECT_EQ(store.devices()[i].iccid, records[i].iccid) << i;
        EXPECT_EQ(store.indexOfDevice(records[i].deviceNo), i);
    }
    EXPECT_EQ(QDir(file("data")).entryList(QDir::Files), QStringList{QStringLiteral("DeviceList.csv")});
}

// A write that fails only when the last buffered bytes reach the disk (a
// full disk; here a file-size limit) must fail the save and keep the old list.
TEST_F(DeviceDatasTest, WriteFailingAtTheFlushKeepsTheOldList)
{
    QList<stDeviceData> records;
    for (int i = 0; i < 4; ++i)
        records << record(i, 0);
    const QString path = file("data/DeviceList.csv");
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(path, records));
    const QByteArray before = readAll(path);

    bool saved = true;
    {
        TestLimits::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        saved = DeviceDatas::writeCloudListCsv(path, records + records);
    }

    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), before);
}

TEST_F(DeviceDatasTest, LocalListRoundTripKeepsEveryField)
{
    QVector<stDeviceData> records;
    for (int i = 0; i < 16; ++i)
        records << record(i, 3);
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(file("local.csv"), records));
    EXPECT_TRUE(readAll(file("local.csv"))
                    .startsWith(QByteArray("\xEF\xBB\xBF") + DeviceDatas::localHeader().toUtf8() + "\n1,"));
    EXPECT_TRUE(DeviceDatas::isLocalDeviceCsv(file("local.csv")));
    EXPECT_FALSE(DeviceDatas::isDeviceCsv(file("local.csv")));
    DeviceDatas store{DeviceDatas::Empty{}};
    EXPECT_TRUE(store.loadLocalDevices(file("local.csv")));
    const QVector<stDeviceData> got = store.localDevices();
    ASSERT_EQ(got.size(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        EXPECT_EQ(got[i].deviceNo, records[i].deviceNo) << i;
        EXPECT_EQ(got[i].deviceName, records[i].deviceName) << i;
        EXPECT_EQ(got[i].ipAddress, records[i].ipAddress) << i;
    }
    // Writing the loaded list gives the same bytes.
    ASSERT_TRUE(store.writeLocalDeviceCsv(file("again.csv")));
    EXPECT_EQ(readAll(file("again.csv")), readAll(file("local.csv")));
}

TEST_F(DeviceDatasTest, ExportRoundTripAndTheSettingsPageImportKeepFieldsInPlace)
{
    QList<stDeviceData> records;
    for (int i = 0; i < 16; ++i)
        records << record(i, 5);
    ASSERT_TRUE(DeviceDatas::writeExportCsv(file("export.csv"), records));
    EXPECT_TRUE(DeviceDatas::isDeviceCsv(file("export.csv")));
    EXPECT_FALSE(DeviceDatas::isLocalDeviceCsv(file("export.csv")));

    QList<stDeviceData> read;
    EXPECT_TRUE(DeviceDatas::readDeviceCsv(file("export.csv"), read));
    ASSERT_EQ(read.size(), records.size());
    for (int i = 0; i < records.size(); ++i)
        expectSameAccount(read[i], records[i], i);

    // The settings page loads an accepted file into the cloud list and saves it.
    DeviceDatas store{DeviceDatas::Empty{}};
    store.loadDevices(file("export.csv"));
    ASSERT_EQ(store.count(), records.size());
    EXPECT_FALSE(store.hasDevice(QString::fromUtf8("设备编号")));
    ASSERT_TRUE(store.writeDeviceCsv(file("cloud.csv")));
    DeviceDatas reloaded{DeviceDatas::Empty{}};
    reloaded.loadDevices(file("cloud.csv"));
    ASSERT_EQ(reloaded.count(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        expectSameAccount(reloaded.devices()[i], records[i], i);
        EXPECT_TRUE(reloaded.devices()[i].iccid.isEmpty());
    }
}

TEST_F(DeviceDatasTest, CloudDuplicatesKeepTheFirstSilently)
{
    writeBytes(file("c.csv"), "u,p,D1,first,i1\nu,p,D1,second,i2\nshort,row\nu,p,,noname,i\nu2,p2,D2,two,i3,extra\n");
    DeviceDatas store{DeviceDatas::Empty{}};
    store.loadDevices(file("c.csv"));
    ASSERT_EQ(store.count(), 2);
    stDeviceData d;
    ASSERT_TRUE(store.getDevice(QStringLiteral("D1"), d));
    EXPECT_EQ(d.deviceName, QStringLiteral("first"));
    EXPECT_EQ(store.indexOfDevice(QStringLiteral("D2")), 1);
    EXPECT_FALSE(store.getDevice(QStringLiteral("D9"), d));
    // A malformed file leaves the list as it was.
    writeBytes(file("bad.csv"), "a\"b\n");
    store.loadDevices(file("bad.csv"));
    EXPECT_EQ(store.count(), 2);
}

TEST_F(DeviceDatasTest, LocalDuplicatesAreSkippedAndReported)
{
    writeBytes(file("l.csv"), QString::fromUtf8("序号,设备编号,设备名称,IP地址\n"
                                                "1,'A','one','10.0.0.1'\n"
                                                "2,'B','two','10.0.0.1'\n"
                                                "3,'A','three','10.0.0.3'\n"
                                                "4,'','four','10.0.0.4'\n"
                                                "5,'','five','10.0.0.5'\n"
                                                "6,'C','no ip',\n"
                                                "7,too,many,items,here\n")
                                  .toUtf8());
    EXPECT_TRUE(DeviceDatas::isLocalDeviceCsv(file("l.csv")));
    DeviceDatas store{DeviceDatas::Empty{}};
    EXPECT_FALSE(store.loadLocalDevices(file("l.csv")));
    const QVector<stDeviceData> got = store.localDevices();
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0].deviceName, QStringLiteral("one"));
    EXPECT_EQ(got[1].ipAddress, QStringLiteral("10.0.0.4"));
    EXPECT_EQ(got[2].ipAddress, QStringLiteral("10.0.0.5"));
    EXPECT_FALSE(store.hasLocalIp(QStringLiteral("10.0.0.1"))); // indexes live only during a load

    writeBytes(file("missing-ip.csv"), "1,2,3,4\n1,'A','one',\n");
    EXPECT_FALSE(DeviceDatas::isLocalDeviceCsv(file("missing-ip.csv")));
    // An unreadable file leaves the list as it was.
    EXPECT_FALSE(store.loadLocalDevices(file("none.csv")));
    EXPECT_EQ(store.localDevices().size(), 3);
}

TEST_F(DeviceDatasTest, LocalHeaderAloneIsAnEmptyList)
{
    writeBytes(file("h.csv"), QByteArray("\xEF\xBB\xBF") + DeviceDatas::localHeader().toUtf8() + "\n");
    EXPECT_TRUE(DeviceDatas::isLocalDeviceCsv(file("h.csv")));
    DeviceDatas store{DeviceDatas::Empty{}};
    EXPECT_TRUE(store.loadLocalDevices(file("h.csv")));
    EXPECT_TRUE(store.localDevices().isEmpty());
}

TEST_F(DeviceDatasTest, ExportDuplicatesAreSkippedAndReported)
{
    QList<stDeviceData> records{record(1, 0), record(2, 0), record(1, 0)};
    records[2].deviceName = QStringLiteral("later");
    ASSERT_TRUE(DeviceDatas::writeExportCsv(file("e.csv"), records));
    QList<stDeviceData> read;
    EXPECT_FALSE(DeviceDatas::readDeviceCsv(file("e.csv"), read));
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0].deviceName, records[0].deviceName);
}

TEST_F(DeviceDatasTest, AddDeviceMergesByNumberAndSaves)
{
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    DeviceDatas store{DeviceDatas::Empty{}};
    stDeviceData a = record(1, 0);
    stDeviceData b = record(2, 0);
    ASSERT_TRUE(store.addDevice({a, b}));
    a.deviceName = QStringLiteral("renamed");
    stDeviceData noNumber;
    ASSERT_TRUE(store.addDevice({a, noNumber}));
    ASSERT_EQ(store.count(), 2);
    DeviceDatas reloaded{DeviceDatas::Empty{}};
    reloaded.loadDevices(QStringLiteral("data/DeviceList.csv"));
    ASSERT_EQ(reloaded.count(), 2);
    EXPECT_EQ(reloaded.devices()[0].deviceName, QStringLiteral("renamed"));
    EXPECT_EQ(reloaded.devices()[1].deviceNo, b.deviceNo);
}

TEST(DeviceDatasLookup, FindByAccountComparesNameAndPasswordApart)
{
    stDeviceData x;
    x.deviceNo = QStringLiteral("1");
    x.userName = QStringLiteral("ab");
    x.password = QStringLiteral("c");
    stDeviceData y;
    y.deviceNo = QStringLiteral("2");
    y.userName = QStringLiteral("a");
    y.password = QStringLiteral("bc");
    const QList<stDeviceData> list{x, y};
    const QList<stDeviceData> found = DeviceDatas::findByAccountIn(list, QStringLiteral("a"), QStringLiteral("bc"));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].deviceNo, QStringLiteral("2"));
    EXPECT_TRUE(DeviceDatas::findByAccountIn(list, QStringLiteral("abc"), QString()).isEmpty());
    EXPECT_TRUE(DeviceDatas::findByAccountIn(list, QStringLiteral("ab"), QString()).isEmpty());
}

TEST(DeviceDatasLookup, SearchIndexOfAndSearchText)
{
    stDeviceData x;
    x.deviceNo = QStringLiteral("SN100");
    x.deviceName = QString::fromUtf8("泵站");
    stDeviceData y;
    y.deviceNo = QStringLiteral("SN200");
    y.iccid = QStringLiteral("8986abc");
    QList<stDeviceData> list{x, y};
    EXPECT_EQ(DeviceDatas::search(list, QStringLiteral("SN")).size(), 2);
    EXPECT_EQ(DeviceDatas::search(list, QStringLiteral("abc")).size(), 1);
    EXPECT_EQ(DeviceDatas::search(list, QStringLiteral("ABC")).size(), 0);
    EXPECT_EQ(DeviceDatas::search(list, QString::fromUtf8("泵")).size(), 1);
    EXPECT_EQ(DeviceDatas::indexOf(list, QStringLiteral("SN200")), 1);
    EXPECT_EQ(DeviceDatas::indexOf(list, QStringLiteral("SN300")), -1);
    const QList<stDeviceData*> pointers{&list[0], &list[1]};
    EXPECT_EQ(DeviceDatas::indexOf(pointers, QStringLiteral("SN200")), 1);
    EXPECT_EQ(DeviceDatas::search(pointers, QStringLiteral("abc")), QList<stDeviceData*>{&list[1]});

    DeviceDatas store{DeviceDatas::Empty{}};
    int changes = 0;
    QObject::connect(&store, &DeviceDatas::searchTextChanged, [&changes] { ++changes; });
    store.setSearchText(QString());
    store.setSearchText(QStringLiteral("a"));
    store.setSearchText(QStringLiteral("a"));
    EXPECT_EQ(changes, 1);
}
