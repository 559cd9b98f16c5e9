#include "tarnwick/core/discovery/loadlocaldevice.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size();
}

// A TCP listener on an address of the test's loopback range.
class Listener {
public:
    explicit Listener(const char* address, int backlog = 16, quint16 port = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = inet_addr(address);
        sa.sin_port = htons(port);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(m_fd, backlog) != 0)
            return;
        socklen_t len = sizeof sa;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len);
        m_port = ntohs(sa.sin_port);
    }
    ~Listener() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

stDeviceData saved(const char* no, const char* ip)
{
    stDeviceData d;
    d.deviceNo = QString::fromLatin1(no);
    d.deviceName = QString::fromUtf8("面板 ") + QString::fromLatin1(no);
    d.ipAddress = QString::fromLatin1(ip);
    return d;
}

const stLocalDeviceInfo* rowFor(const QVector<stLocalDeviceInfo>& rows, const char* no)
{
    for (const stLocalDeviceInfo& r : rows) {
        if (r.deviceNo == QLatin1String(no))
            return &r;
    }
    return nullptr;
}

bool run(const char* command)
{
    return std::system(command) == 0;
}

} // namespace

TEST(LoadLocalDevice, ListeningRefusedAndMalformedPanels)
{
    Listener listener("127.20.0.2");
    ASSERT_NE(listener.port(), 0);
    const int before = openDescriptors();
    LoadLocalDevice probe(
        {saved("A", "127.20.0.2"), saved("B", "127.20.0.3"), saved("C", "not-an-ip"), saved("D", "300.1.2.3")},
        listener.port());
    QVector<stLocalDeviceInfo> rows;
    QElapsedTimer t;
    t.start();
    probe.probe(rows);
    EXPECT_LT(t.elapsed(), 1000);
    ASSERT_EQ(rows.size(), 4);
    const stLocalDeviceInfo* a = rowFor(rows, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->reachable);
    EXPECT_EQ(a->ip, QStringLiteral("127.20.0.2"));
    EXPECT_EQ(a->deviceName, QString::fromUtf8("面板 A"));
    EXPECT_TRUE(a->lanIp.isEmpty());
    EXPECT_EQ(a->state, 0);
    for (const char* no : {"B", "C", "D"}) {
        const stLocalDeviceInfo* r = rowFor(rows, no);
        ASSERT_NE(r, nullptr) << no;
        EXPECT_FALSE(r->reachable) << no;
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(LoadLocalDevice, EmptyListSignalsAnEmptyListAtOnce)
{
    LoadLocalDevice probe(QVector<stDeviceData>(), 127);
    int count = 0;
    QVector<stLocalDeviceInfo> got{stLocalDeviceInfo()};
    QEventLoop loop;
    QObject::connect(&probe, &LoadLocalDevice::updateLocalDevice, &loop, [&](const QVector<stLocalDeviceInfo>& rows) {
        ++count;
        got = rows;
        loop.quit();
    });
    QElapsedTimer t;
    t.start();
    probe.start();
    loop.exec();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(got.isEmpty());
}

TEST(LoadLocalDevice, CancelClosesEverySocketAndStillSignals)
{
    // A listener whose queue is full drops further connects silently.
    Listener full("127.20.0.4", 0);
    ASSERT_NE(full.port(), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = inet_addr("127.20.0.4");
    sa.sin_port = htons(full.port());
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    const int before = openDescriptors();

    QVector<stDeviceData> list;
    for (int i = 0; i < 8; ++i)
        list << saved(QByteArray::number(i).constData(), "127.20.0.4");
    LoadLocalDevice probe(list, full.port());
    int count = 0;
    QVector<stLocalDeviceInfo> got;
    QObject::connect(
        &probe, &LoadLocalDevice::updateLocalDevice, &probe,
        [&](const QVector<stLocalDeviceInfo>& rows) {
            ++count;
            got = rows;
        },
        Qt::DirectConnection);
    probe.start();
    QThread::msleep(300);
    QElapsedTimer t;
    t.start();
    probe.cancel(true);
    ASSERT_TRUE(probe.wait(5000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(got.isEmpty()); // nothing was decided before the cancel
    EXPECT_EQ(openDescriptors(), before);
    ::close(filler);
}

TEST(LoadLocalDevice, PanelsWaitingForDescriptorsAreRetriedNotDropped)
{
    Listener listener("127.20.0.2");
    ASSERT_NE(listener.port(), 0);
    QVector<stDeviceData> list;
    for (int i = 0; i < 12; ++i)
        list << saved(QByteArray::number(i).constData(), "127.20.0.2");
    LoadLocalDevice probe(list, listener.port());

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    // Two descriptors to spare: the panels must take turns.
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(openDescriptors() + 2);
    QVector<stLocalDeviceInfo> rows;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    probe.probe(rows);
    ::setrlimit(RLIMIT_NOFILE, &old);
    ASSERT_EQ(rows.size(), 12);
    for (const stLocalDeviceInfo& r : rows)
        EXPECT_TRUE(r.reachable) << r.deviceNo.toStdString();
}

TEST(LoadLocalDevice, SilentHostIsGivenUpAfterOneToTwoSeconds)
{
    const QByteArray ns = "twcore" + QByteArray::number(::getpid());
    const QByteArray veth = "twc" + QByteArray::number(::getpid());
    const QByteArray setup = "ip netns add " + ns + " && ip -n " + ns + " link add " + veth + "a type veth peer name "
                             + veth + "b && ip -n " + ns + " addr add 10.201.0.1/24 dev " + veth + "a && ip -n " + ns
                             + " link set " + veth + "a up && ip -n " + ns + " link set " + veth + "b up && ip -n " + ns
                             + " neigh add 10.201.0.2 lladdr 02:00:00:00:00:02 dev " + veth
                             + "a nud permanent >/dev/null 2>&1";
    if (!run(setup.constData())) {
        run(("ip netns del " + ns + " >/dev/null 2>&1").constData());
        GTEST_SKIP() << "network namespaces are not available here";
    }
    struct Cleanup {
        QByteArray ns;
        ~Cleanup() { run(("ip netns del " + ns + " >/dev/null 2>&1").constData()); }
    } cleanup{ns};

    const int nsFd = ::open(("/var/run/netns/" + ns).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(nsFd, 0);
    const int before = openDescriptors();
    QVector<stLocalDeviceInfo> rows;
    qint64 elapsed = -1;
    bool entered = false;
    // Only this helper thread enters the namespace; the probe runs on it.
    std::thread inside([&] {
        if (::setns(nsFd, CLONE_NEWNET) != 0)
            return;
        entered = true;
        LoadLocalDevice probe({saved("S", "10.201.0.2")}, 127);
        QElapsedTimer t;
        t.start();
        probe.probe(rows);
        elapsed = t.elapsed();
    });
    inside.join();
    ::close(nsFd);
    ASSERT_TRUE(entered);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_FALSE(rows[0].reachable);
    EXPECT_GE(elapsed, 900);
    EXPECT_LE(elapsed, 2600);
    EXPECT_EQ(openDescriptors(), before - 1); // the namespace handle is closed too
}
