#include "testing/fakepanel/fakepanelservice.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/framecodec.h"
#include "testing/fakepanel/wirereader.h"
#include "testing/fakepanel/wirewriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Fake {

namespace {

// The address word of an endpoint: a, b, c, d in the low 32 bits (a lowest),
// the port in the high 32 bits, as the re-init request carries it.
uint64_t addressWord(const sockaddr_in& address)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr);
    uint64_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = (word << 8) | bytes[i];
    return word | (uint64_t(ntohs(address.sin_port)) << 32);
}

int msUntil(std::chrono::steady_clock::time_point due)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

} // namespace

struct FakePanelService::Connection {
    int fd = -1;
    int number = 0;
    uint64_t peer = 0;
    std::thread thread;
    std::mutex sendMutex;
    std::atomic<bool> closing{false};
    std::atomic<bool> finished{false};
    // Replies that wait for their time; touched by the connection's own thread only.
    std::multimap<Clock::time_point, std::vector<uint8_t>> delayed;

    ~Connection()
    {
        requestClose();
        if (thread.joinable())
            thread.join();
        if (fd >= 0)
            ::close(fd);
    }

    // Every byte or false; never raises SIGPIPE.
    bool send(const std::vector<uint8_t>& bytes)
    {
        std::lock_guard<std::mutex> lock(sendMutex);
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Wakes the connection's thread; the socket stays open until the thread is joined.
    void requestClose()
    {
        if (!closing.exchange(true) && fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
    }
};

FakePanelService::FakePanelService(const std::string& address, uint16_t port)
    : m_address(address)
    , m_port(port)
{
    listen();
}

FakePanelService::~FakePanelService()
{
    stop();
}

std::string FakePanelService::endpoint() const
{
    return m_address + ":" + std::to_string(m_port);
}

void FakePanelService::listen()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_port);
    if (::inet_pton(AF_INET, m_address.c_str(), &local.sin_addr) != 1)
        throw std::runtime_error("fake panel: bad address " + m_address);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("fake panel: socket failed");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    // A restart may find the port still held for a moment by the old socket's teardown.
    bool bound = false;
    for (int attempt = 0; attempt < 100 && !bound; ++attempt) {
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0;
        if (!bound && (m_port == 0 || errno != EADDRINUSE))
            break;
        if (!bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Room for many clients that connect at once (a test may start hundreds):
    // a full queue drops their first tries, which then wait seconds to retry.
    if (!bound || ::listen(fd, SOMAXCONN) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("fake panel: cannot listen on " + endpoint() + ": " + reason);
    }
    socklen_t length = sizeof(local);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ntohs(local.sin_port);
    m_listenFd = fd;
    m_stopping = false;
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

void FakePanelService::stop()
{
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    std::vector<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        connection->requestClose();
    connections.clear(); // joins every connection's thread and closes its socket
    notify();
}

void FakePanelService::restart(Clients clients, std::chrono::milliseconds downTime)
{
    stop();
    if (clients == Clients::Forget)
        forgetClients();
    std::this_thread::sleep_for(downTime);
    listen();
}

void FakePanelService::acceptLoop()
{
    while (!m_stopping) {
        pollfd waiting{m_listenFd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, kPollStepMs);
        reapFinished();
        if (ready <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t length = sizeof(peer);
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        bool closeAtOnce = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_accepted;
            closeAtOnce = m_acceptAndClose;
        }
        if (closeAtOnce) {
            ::close(fd);
            notify();
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->peer = addressWord(peer);
        Connection& ref = *connection;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            connection->number = m_accepted;
            m_connections.push_back(std::move(connection));
        }
        ref.thread = std::thread([this, &ref] { serve(ref); });
        notify();
    }
}

void FakePanelService::reapFinished()
{
    std::vector<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto split = std::stable_partition(m_connections.begin(), m_connections.end(),
                                           [](const auto& c) { return !c->finished; });
        std::move(split, m_connections.end(), std::back_inserter(finished));
        m_connections.erase(split, m_connections.end());
    }
    // Joined and closed here, outside the lock.
}

void FakePanelService::serve(Connection& connection)
{
    FrameAssembler assembler(kMaxFrameBody);
    std::vector<uint8_t> chunk(64 * 1024);
    bool open = true;
    while (open && !connection.closing) {
        int timeout = kPollStepMs;
        if (!connection.delayed.empty())
            timeout = std::min(timeout, msUntil(connection.delayed.begin()->first));
        if (!m_reading) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
            flushDue(connection);
            continue;
        }
        pollfd waiting{connection.fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            const ssize_t n = ::recv(connection.fd, chunk.data(), chunk.size(), 0);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                break;
            }
            if (!assembler.feed(chunk.data(), static_cast<size_t>(n))) {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_protocolErrors;
                break;
            }
            while (open && assembler.hasFrame())
                open = handleMessage(connection, assembler.takeFrame());
        }
        flushDue(connection);
    }
    // The peer sees the end at once; the socket itself is closed when the thread is reaped.
    ::shutdown(connection.fd, SHUT_RDWR);
    connection.finished = true;
    notify();
}

bool FakePanelService::handleMessage(Connection& connection, std::vector<uint8_t> body)
{
    WireReader in(body);
    uint32_t type = 0;
    if (!in.u32(type)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_protocolErrors;
        return false;
    }
    switch (type) {
    case kMsgCall: return handleCall(connection, std::move(body));
    case kMsgPing: {
        bool answer = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_pings;
            answer = m_answerPings;
        }
        if (answer)
            connection.send(encodeFrame(WireWriter().u32(kMsgPong).take()));
        notify();
        return true;
    }
    case kMsgPong: {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_pongs;
        notify();
        return true;
    }
    case kMsgInit: {
        std::string key;
        bool silent = false;
        std::chrono::milliseconds delay{0};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_inits;
            silent = m_initSilent;
            delay = m_initDelay;
            key = m_fixedKey.empty() ? newKey() : m_fixedKey;
            m_clients[connection.peer] = key;
        }
        notify();
        if (!silent)
            reply(connection, WireWriter().u32(kMsgInit).string(key).take(), delay);
        return true;
    }
    case kMsgReinit: {
        std::vector<uint8_t> rest = in.rest();
        std::string key;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_reinits.push_back(rest);
            if (rest.size() != 8) {
                ++m_protocolErrors;
            } else {
                uint64_t previous = 0;
                WireReader(rest).u64(previous);
                const auto known = m_clients.find(previous);
                if (m_reinitKey)
                    key = *m_reinitKey;
                else if (known != m_clients.end())
                    key = known->second;
                else
                    key = newKey();
                m_clients[connection.peer] = key;
            }
        }
        notify();
        if (rest.size() != 8)
            return false;
        reply(connection, WireWriter().u32(kMsgReinit).string(key).take(), std::chrono::milliseconds(0));
        return true;
    }
    default: {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_protocolErrors;
        return false;
    }
    }
}

bool FakePanelService::handleCall(Connection& connection, std::vector<uint8_t> body)
{
    WireReader in(body);
    uint32_t type = 0;
    RecordedCall call;
    call.connection = connection.number;
    if (!in.u32(type) || !in.u32(call.handlerId) || !in.u32(call.callNumber) || !in.string(call.method)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_protocolErrors;
        return false;
    }
    call.args = in.rest();
    const uint32_t handlerId = call.handlerId;
    const uint32_t callNumber = call.callNumber;
    std::vector<uint8_t> argBytes = call.args;
    call.body = std::move(body);

    Method method;
    std::optional<uint32_t> forced;
    std::optional<std::string> wrongTypeName;
    std::chrono::milliseconds delay{0};
    bool drop = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_methods.find(call.method);
        if (found != m_methods.end())
            method = found->second;
        m_calls.push_back(std::move(call));
        if (m_callsUntilDrop == 0) {
            m_callsUntilDrop = -1;
            drop = true;
        } else if (m_callsUntilDrop > 0) {
            --m_callsUntilDrop;
        }
        forced = m_forcedStatus;
        wrongTypeName = m_wrongTypeName;
        delay = m_replyDelay;
    }
    notify();
    if (drop)
        return false;

    MethodResult result;
    if (forced) {
        result.setStatus(*forced);
    } else if (!method) {
        result.setStatus(kStatusNoRegisteredFunction);
    } else {
        try {
            MethodArgs args(std::move(argBytes));
            method(args, result);
        } catch (const ArgsError&) {
            result = MethodResult();
            result.setStatus(kStatusArgsLess);
        } catch (...) {
            result = MethodResult();
            result.setStatus(kStatusInvokingFailed);
        }
    }
    if (result.silent())
        return true;
    if (wrongTypeName)
        result.replaceFirstTypeName(*wrongTypeName);

    WireWriter out;
    out.u32(kMsgCall).u32(handlerId).u32(callNumber).u32(result.status());
    if (result.status() == kStatusSucceed)
        out.raw(result.encode());
    reply(connection, out.take(), delay + result.delay());
    return true;
}

void FakePanelService::reply(Connection& connection, const std::vector<uint8_t>& body, std::chrono::milliseconds delay)
{
    if (delay.count() <= 0)
        connection.send(encodeFrame(body));
    else
        connection.delayed.emplace(Clock::now() + delay, encodeFrame(body));
}

void FakePanelService::flushDue(Connection& connection)
{
    const auto now = Clock::now();
    while (!connection.delayed.empty() && connection.delayed.begin()->first <= now) {
        connection.send(connection.delayed.begin()->second);
        connection.delayed.erase(connection.delayed.begin());
    }
}

std::string FakePanelService::newKey()
{
    std::string key = "fake-key-" + std::to_string(++m_keySerial);
    m_issuedKeys.push_back(key);
    return key;
}

void FakePanelService::forEachOpen(const std::function<void(Connection&)>& action)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& connection : m_connections) {
        if (!connection->finished && !connection->closing)
            action(*connection);
    }
}

void FakePanelService::notify()
{
    std::lock_guard<std::mutex> lock(m_eventMutex);
    m_event.notify_all();
}

void FakePanelService::addMethod(const std::string& name, Method method)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods[name] = std::move(method);
}

void FakePanelService::removeMethod(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods.erase(name);
}

void FakePanelService::setClientKey(const std::string& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fixedKey = key;
}

void FakePanelService::setReinitKey(std::optional<std::string> key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reinitKey = std::move(key);
}

void FakePanelService::forgetClients()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clients.clear();
}

void FakePanelService::setInitSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_initSilent = silent;
}

void FakePanelService::setInitDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_initDelay = delay;
}

void FakePanelService::setAnswerPings(bool answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerPings = answer;
}

void FakePanelService::setForcedStatus(std::optional<uint32_t> status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_forcedStatus = status;
}

void FakePanelService::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replyDelay = delay;
}

void FakePanelService::setWrongResultTypeName(std::optional<std::string> typeName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wrongTypeName = std::move(typeName);
}

void FakePanelService::dropConnectionAfterCalls(int calls)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_callsUntilDrop = calls < 0 ? -1 : calls;
}

void FakePanelService::setAcceptAndClose(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_acceptAndClose = on;
}

void FakePanelService::setReading(bool reading)
{
    m_reading = reading;
    notify();
}

void FakePanelService::pingClients()
{
    const std::vector<uint8_t> frame = encodeFrame(WireWriter().u32(kMsgPing).take());
    forEachOpen([&](Connection& c) { c.send(frame); });
}

void FakePanelService::sendFrame(const std::vector<uint8_t>& body)
{
    const std::vector<uint8_t> frame = encodeFrame(body);
    forEachOpen([&](Connection& c) { c.send(frame); });
}

void FakePanelService::sendBytes(const std::vector<uint8_t>& bytes)
{
    forEachOpen([&](Connection& c) { c.send(bytes); });
}

void FakePanelService::sendBadCheckFrame()
{
    sendBytes(encodeFrameWithBadCheck(WireWriter().u32(kMsgPing).take()));
}

void FakePanelService::dropConnections()
{
    forEachOpen([](Connection& c) { c.requestClose(); });
}

std::vector<RecordedCall> FakePanelService::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

size_t FakePanelService::callCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.size();
}

void FakePanelService::clearCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

int FakePanelService::acceptedConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

int FakePanelService::openConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(
        std::count_if(m_connections.begin(), m_connections.end(), [](const auto& c) { return !c->finished; }));
}

int FakePanelService::initRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inits;
}

std::vector<std::vector<uint8_t>> FakePanelService::reinitRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reinits;
}

std::vector<std::string> FakePanelService::issuedKeys() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_issuedKeys;
}

int FakePanelService::pingsReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pings;
}

int FakePanelService::pongsReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pongs;
}

int FakePanelService::protocolErrors() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_protocolErrors;
}

bool FakePanelService::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::unique_lock<std::mutex> lock(m_eventMutex);
        m_event.wait_for(lock, std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace Fake
