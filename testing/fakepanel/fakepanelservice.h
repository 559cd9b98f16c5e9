#pragma once

// A panel's RPC service on loopback, for tests: it speaks the server side of
// the framework protocol (frames, init and re-init with a client key, pings,
// calls by method name), runs scripted methods that read typed arguments and
// write typed results, records every call, and can misbehave on demand.
//
//   Fake::FakePanelService panel("127.0.0.1");   // port 0: an ephemeral port
//   panel.addMethod("getSerial", [](Fake::MethodArgs&, Fake::MethodResult& r) {
//       r.addString("SN-1");
//   });
//   FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), ...);
//
// Every thread of the service (one accepting, one per connection) is joined
// and every socket closed by stop(), restart() and the destructor. Methods run
// on the connection's thread; they must not call stop() or restart().

#include "testing/fakepanel/methodargs.h"
#include "testing/fakepanel/methodresult.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace Fake {

// One call as the service received it.
struct RecordedCall {
    std::string method;
    uint32_t handlerId = 0;
    uint32_t callNumber = 0;
    std::vector<uint8_t> args; // the argument count word and the arguments
    std::vector<uint8_t> body; // the whole frame body, type word first
    int connection = 0;        // number of the connection it came on, from 1
};

class FakePanelService {
public:
    using Method = std::function<void(MethodArgs& args, MethodResult& result)>;
    enum class Clients { Keep, Forget };

    // Listens at once; throws std::runtime_error when the address cannot be bound.
    explicit FakePanelService(const std::string& address = "127.0.0.1", uint16_t port = 0);
    ~FakePanelService();
    FakePanelService(const FakePanelService&) = delete;
    FakePanelService& operator=(const FakePanelService&) = delete;

    const std::string& address() const { return m_address; }
    uint16_t port() const { return m_port; }
    // "a.b.c.d:port", the form FF::Net::Address takes.
    std::string endpoint() const;

    // Scripted methods by name; a call of any other name gets status 3.
    void addMethod(const std::string& name, Method method);
    void removeMethod(const std::string& name);

    // Handshake. Each init gets a fresh key ("fake-key-<n>") unless one is fixed
    // here; a re-init from a known client gets its key back.
    void setClientKey(const std::string& key);
    // Answer every re-init with this key instead (nullopt: the known key).
    void setReinitKey(std::optional<std::string> key);
    // Forget every client: their re-inits then get a fresh key.
    void forgetClients();
    void setInitSilent(bool silent);
    void setInitDelay(std::chrono::milliseconds delay);
    void setAnswerPings(bool answer);

    // Faults of the replies.
    // Answer every call with this status and no results, without running the method.
    void setForcedStatus(std::optional<uint32_t> status);
    // Every reply leaves this much later (on top of the method's own delay).
    void setReplyDelay(std::chrono::milliseconds delay);
    // The first typed result of every successful reply carries this type name.
    void setWrongResultTypeName(std::optional<std::string> typeName);
    // After this many more calls, the next call arriving drops its connection
    // unanswered (once); negative switches it off.
    void dropConnectionAfterCalls(int calls);
    // Accept every new connection and close it at once.
    void setAcceptAndClose(bool on);
    // Stop reading every connection, new ones too (and resume): what the
    // client sends stays in the sockets, so a large request runs out of room.
    void setReading(bool reading);

    // Lifecycle.
    void stop();
    // Stops, waits downTime, and listens again on the same port.
    void restart(Clients clients = Clients::Keep, std::chrono::milliseconds downTime = std::chrono::milliseconds(0));
    bool listening() const { return m_listenFd >= 0; }

    // Sent to every open connection.
    void pingClients();
    void sendFrame(const std::vector<uint8_t>& body);
    void sendBytes(const std::vector<uint8_t>& bytes);
    // A ping whose header's check bits disagree with its length.
    void sendBadCheckFrame();
    void dropConnections();

    // What happened.
    std::vector<RecordedCall> calls() const;
    size_t callCount() const;
    void clearCalls();
    int acceptedConnections() const;
    int openConnections() const;
    int initRequests() const;
    // Bodies of the re-init requests after their type word (8 bytes each when well formed).
    std::vector<std::vector<uint8_t>> reinitRequests() const;
    std::vector<std::string> issuedKeys() const;
    int pingsReceived() const;
    int pongsReceived() const;
    int protocolErrors() const;
    // Polls condition until it holds or the time-out passes; condition may call
    // the accessors above.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const;

private:
    struct Connection;
    using Clock = std::chrono::steady_clock;

    void listen();
    void acceptLoop();
    void serve(Connection& connection);
    // false: close the connection.
    bool handleMessage(Connection& connection, std::vector<uint8_t> body);
    bool handleCall(Connection& connection, std::vector<uint8_t> body);
    void reply(Connection& connection, const std::vector<uint8_t>& body, std::chrono::milliseconds delay);
    void flushDue(Connection& connection);
    std::string newKey();
    void reapFinished();
    void forEachOpen(const std::function<void(Connection&)>& action);
    void notify();

    const std::string m_address;
    uint16_t m_port = 0;
    int m_listenFd = -1;
    std::thread m_acceptThread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_reading{true};

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::map<std::string, Method> m_methods;
    std::map<uint64_t, std::string> m_clients; // peer address word -> key
    std::string m_fixedKey;
    std::optional<std::string> m_reinitKey;
    bool m_initSilent = false;
    std::chrono::milliseconds m_initDelay{0};
    bool m_answerPings = true;
    std::optional<uint32_t> m_forcedStatus;
    std::chrono::milliseconds m_replyDelay{0};
    std::optional<std::string> m_wrongTypeName;
    int m_callsUntilDrop = -1;
    bool m_acceptAndClose = false;

    std::vector<RecordedCall> m_calls;
    std::vector<std::vector<uint8_t>> m_reinits;
    std::vector<std::string> m_issuedKeys;
    int m_keySerial = 0;
    int m_accepted = 0;
    int m_inits = 0;
    int m_pings = 0;
    int m_pongs = 0;
    int m_protocolErrors = 0;

    mutable std::mutex m_eventMutex;
    mutable std::condition_variable m_event;
};

} // namespace Fake
