#include "testing/fakepassthrough/fakepassthroughpanel.h"

#include "testing/fakepanel/wirewriter.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace Fake {

namespace {

// errno of binding address:port (0 when it binds), the socket closed again.
int tryBind(const std::string& address, uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    const int error = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace

std::unique_ptr<FakePassThroughPanel> FakePassThroughPanel::create(std::string* reason)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::string address = "127.90." + std::to_string(part(random)) + "." + std::to_string(part(random));
        const int error = tryBind(address, kProjectPort);
        if (error == EACCES || error == EPERM) {
            if (reason)
                *reason = "binding port 127 needs root (or a lowered net.ipv4.ip_unprivileged_port_start)";
            return nullptr;
        }
        if (error != 0 || tryBind(address, kPassThroughPort) != 0)
            continue;
        try {
            return std::unique_ptr<FakePassThroughPanel>(new FakePassThroughPanel(address));
        } catch (const std::runtime_error&) {
            continue; // taken in between by a test running beside us
        }
    }
    if (reason)
        *reason = "no free address in 127.90.0.0/16 for ports 9060 and 127";
    return nullptr;
}

FakePassThroughPanel::FakePassThroughPanel(const std::string& address)
    : m_address(address)
{
    m_passThrough = std::make_unique<FakePanelService>(address, kPassThroughPort);
    m_project = std::make_unique<FakePanelService>(address, kProjectPort);
    addMethods();
}

FakePassThroughPanel::~FakePassThroughPanel()
{
    m_passThrough->stop();
    m_project->stop();
    closeDataPort();
}

void FakePassThroughPanel::setAnswers(const std::string& method, std::vector<Answer> first, Answer thereafter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Script& script = m_scripts[method];
    script.first = std::move(first);
    script.thereafter = thereafter;
    script.calls = 0;
}

void FakePassThroughPanel::setOpenDataPort(bool open)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openDataPort = open;
}

void FakePassThroughPanel::setIsReadyFalseFrom(int k)
{
    setAnswers("IsReady", std::vector<Answer>(k > 1 ? k - 1 : 0, Answer::True), Answer::False);
}

void FakePassThroughPanel::setProjectPasswordDigest(std::optional<std::string> md5Hex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_passwordDigest = std::move(md5Hex);
}

Answer FakePassThroughPanel::nextAnswer(const std::string& method)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Script& script = m_scripts[method];
    const int index = script.calls++;
    return index < static_cast<int>(script.first.size()) ? script.first[index] : script.thereafter;
}

void FakePassThroughPanel::answerBool(MethodResult& result, Answer answer, bool value)
{
    switch (answer) {
    case Answer::True: result.addBool(value); break;
    case Answer::False: result.addBool(false); break;
    case Answer::WrongType: result.addRecord("boolean", WireWriter().boolean(value).take()); break;
    case Answer::Silent: result.setSilent(); break;
    }
}

void FakePassThroughPanel::addMethods()
{
    // Each method records the argument bytes from the service's own record of
    // the call, which the service stores before running the method.
    auto lastArgs = [](FakePanelService& service, const std::string& method) {
        const std::vector<RecordedCall> calls = service.calls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->method == method)
                return it->args;
        }
        return std::vector<uint8_t>();
    };
    auto note = [this, lastArgs](FakePanelService& service, const std::string& method, int port) {
        PassThroughCall call{method, lastArgs(service, method), port};
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    };

    m_passThrough->addMethod("SetTransparentParam", [this, note](MethodArgs& args, MethodResult& result) {
        note(*m_passThrough, "SetTransparentParam", kPassThroughPort);
        args.expectTypeName("TransparentParam");
        const int port = args.plainInt();
        const std::string serial = args.plainString();
        bool open = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastTcpPort = port;
            m_lastSerialPort = serial;
            open = m_openDataPort;
        }
        const Answer answer = nextAnswer("SetTransparentParam");
        if (answer == Answer::True && open)
            openDataPort(port);
        answerBool(result, answer);
    });
    m_passThrough->addMethod("IsReady", [this, note](MethodArgs&, MethodResult& result) {
        note(*m_passThrough, "IsReady", kPassThroughPort);
        answerBool(result, nextAnswer("IsReady"));
    });
    m_passThrough->addMethod("Terminate", [this, note](MethodArgs&, MethodResult& result) {
        note(*m_passThrough, "Terminate", kPassThroughPort);
        closeDataPort();
        answerBool(result, nextAnswer("Terminate"));
    });
    m_project->addMethod("projectHasPassword", [this, note](MethodArgs&, MethodResult& result) {
        note(*m_project, "projectHasPassword", kProjectPort);
        bool has = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            has = m_passwordDigest.has_value();
        }
        const Answer answer = nextAnswer("projectHasPassword");
        answerBool(result, answer, has);
    });
    m_project->addMethod("projectCheckPassword", [this, note](MethodArgs& args, MethodResult& result) {
        note(*m_project, "projectCheckPassword", kProjectPort);
        const std::string digest = args.readString();
        bool right = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_digests.push_back(digest);
            right = m_passwordDigest && digest == *m_passwordDigest;
        }
        answerBool(result, nextAnswer("projectCheckPassword"), right);
    });
    m_project->addMethod("projectStart", [this, note](MethodArgs&, MethodResult& result) {
        note(*m_project, "projectStart", kProjectPort);
        answerBool(result, nextAnswer("projectStart"));
    });
}

std::vector<PassThroughCall> FakePassThroughPanel::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

int FakePassThroughPanel::callCount(const std::string& method) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int count = 0;
    for (const PassThroughCall& call : m_calls)
        count += call.method == method ? 1 : 0;
    return count;
}

std::vector<std::string> FakePassThroughPanel::callNames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const PassThroughCall& call : m_calls)
        names.push_back(call.method);
    return names;
}

int FakePassThroughPanel::lastTcpPort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastTcpPort;
}

std::string FakePassThroughPanel::lastSerialPort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastSerialPort;
}

std::vector<std::string> FakePassThroughPanel::checkedDigests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_digests;
}

bool FakePassThroughPanel::dataPortOpen() const
{
    return m_dataOpen;
}

int FakePassThroughPanel::dataConnectionsAccepted() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_dataAccepted;
}

std::vector<uint8_t> FakePassThroughPanel::dataReceived() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_dataReceived;
}

std::vector<StateRecord> FakePassThroughPanel::stateRecords() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_decoder.records();
}

std::vector<uint32_t> FakePassThroughPanel::baudRates() const
{
    std::vector<uint32_t> rates;
    for (const StateRecord& record : stateRecords()) {
        if (record.code == EscapeDecoder::kRbr && record.payload.size() == 4)
            rates.push_back(record.payload[0] | record.payload[1] << 8 | record.payload[2] << 16
                            | static_cast<uint32_t>(record.payload[3]) << 24);
    }
    return rates;
}

bool FakePassThroughPanel::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool FakePassThroughPanel::openDataPort(int port)
{
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (m_dataThread.joinable())
        return true; // one data port at a time, as the panel keeps one pass-through
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, m_address.c_str(), &local.sin_addr);
    if (port <= 0 || port > 65535 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0
        || ::listen(fd, 8) != 0 || ::pipe2(m_dataWakeFds, O_CLOEXEC) != 0) {
        ::close(fd);
        return false;
    }
    m_dataOpen = true;
    m_dataThread = std::thread([this, fd] { dataLoop(fd); });
    return true;
}

void FakePassThroughPanel::closeDataPort()
{
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (!m_dataThread.joinable())
        return;
    const char wake = 1;
    (void)!::write(m_dataWakeFds[1], &wake, 1);
    m_dataThread.join();
    ::close(m_dataWakeFds[0]);
    ::close(m_dataWakeFds[1]);
    m_dataWakeFds[0] = m_dataWakeFds[1] = -1;
    m_dataOpen = false;
}

void FakePassThroughPanel::dataLoop(int listenFd)
{
    std::vector<int> connections;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({m_dataWakeFds[0], POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        for (int fd : connections)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        std::vector<int> kept;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                kept.push_back(fd);
                std::lock_guard<std::mutex> lock(m_dataMutex);
                ++m_dataAccepted;
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            const int fd = fds[i].fd;
            if (!fds[i].revents) {
                kept.push_back(fd);
                continue;
            }
            uint8_t bytes[4096];
            const ssize_t n = ::recv(fd, bytes, sizeof(bytes), 0);
            if (n <= 0) {
                ::close(fd);
                continue;
            }
            std::vector<uint8_t> data;
            {
                std::lock_guard<std::mutex> lock(m_dataMutex);
                data = m_decoder.feed(bytes, static_cast<size_t>(n));
                m_dataReceived.insert(m_dataReceived.end(), data.begin(), data.end());
            }
            if (!data.empty())
                (void)!::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            kept.push_back(fd);
        }
        connections.swap(kept);
    }
    for (int fd : connections)
        ::close(fd);
    ::close(listenFd);
}

} // namespace Fake
