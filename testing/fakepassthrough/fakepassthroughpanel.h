#pragma once

// A panel with its pass-through service (port 9060) and its project service
// (port 127) on one loopback address, for tests of the pass-through tool.
//
// The six methods answer by script (true, false, a wrong result type name, or
// no answer at all), each call is recorded with its argument bytes, and
// "SetTransparentParam" answered true opens the data port it names on the
// same address: what arrives there is un-escaped (EscapeDecoder) and echoed,
// state records are kept. "Terminate" closes the data port.
//
// Port 127 is privileged: create() binds it on a free address of
// 127.90.0.0/16, which needs root (or a lowered unprivileged port start);
// without that it returns null and says why.

#include "testing/fakepanel/fakepanelservice.h"
#include "testing/fakepassthrough/escapedecoder.h"

#include <atomic>
#include <chrono>
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

// True: the method's own answer (true, or for the project's password methods
// whether there is one and whether it matches); False: false; WrongType: that
// value under the type name "boolean"; Silent: no reply at all.
enum class Answer { True, False, WrongType, Silent };

struct PassThroughCall {
    std::string method;
    std::vector<uint8_t> args; // from the argument count word on
    int port = 0;              // 9060 or 127
};

class FakePassThroughPanel {
public:
    static constexpr uint16_t kPassThroughPort = 9060;
    static constexpr uint16_t kProjectPort = 127;

    // Null (and *reason set) when no address of 127.90.0.0/16 takes both ports.
    static std::unique_ptr<FakePassThroughPanel> create(std::string* reason);
    ~FakePassThroughPanel();
    FakePassThroughPanel(const FakePassThroughPanel&) = delete;
    FakePassThroughPanel& operator=(const FakePassThroughPanel&) = delete;

    const std::string& address() const { return m_address; }

    // Script: the answers of the first calls in order, then `thereafter`.
    void setAnswers(const std::string& method, std::vector<Answer> first, Answer thereafter);
    void setAnswer(const std::string& method, Answer answer) { setAnswers(method, {}, answer); }
    // "IsReady" answers true to calls 1..k-1 and false from call k on.
    void setIsReadyFalseFrom(int k);
    // false: "SetTransparentParam" answered true opens no data port.
    void setOpenDataPort(bool open);
    // The MD5 digest (32 lower-case hex) of the project's password; none:
    // "projectHasPassword" answers false.
    void setProjectPasswordDigest(std::optional<std::string> md5Hex);

    // Both services' calls in arrival order.
    std::vector<PassThroughCall> calls() const;
    int callCount(const std::string& method) const;
    std::vector<std::string> callNames() const;
    // Decoded arguments of the last "SetTransparentParam" (-1 / "" before any).
    int lastTcpPort() const;
    std::string lastSerialPort() const;
    // The digest argument of every "projectCheckPassword".
    std::vector<std::string> checkedDigests() const;

    FakePanelService& passThroughService() { return *m_passThrough; }
    FakePanelService& projectService() { return *m_project; }

    // The data port.
    bool dataPortOpen() const;
    int dataConnectionsAccepted() const;
    std::vector<uint8_t> dataReceived() const; // un-escaped data, as echoed
    std::vector<StateRecord> stateRecords() const;
    // Baud rates of the RBR records seen.
    std::vector<uint32_t> baudRates() const;

    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const;

private:
    explicit FakePassThroughPanel(const std::string& address);
    void addMethods();
    Answer nextAnswer(const std::string& method);
    static void answerBool(MethodResult& result, Answer answer, bool value = true);
    bool openDataPort(int port);
    void closeDataPort();
    void dataLoop(int listenFd);

    struct Script {
        std::vector<Answer> first;
        Answer thereafter = Answer::True;
        int calls = 0;
    };

    std::string m_address;
    std::unique_ptr<FakePanelService> m_passThrough;
    std::unique_ptr<FakePanelService> m_project;

    mutable std::mutex m_mutex;
    std::map<std::string, Script> m_scripts;
    std::optional<std::string> m_passwordDigest;
    bool m_openDataPort = true;
    std::vector<PassThroughCall> m_calls;
    int m_lastTcpPort = -1;
    std::string m_lastSerialPort;
    std::vector<std::string> m_digests;

    // Data port: m_controlMutex orders opening and closing, m_dataMutex guards what it saw.
    std::mutex m_controlMutex;
    mutable std::mutex m_dataMutex;
    std::thread m_dataThread;
    int m_dataWakeFds[2] = {-1, -1};
    std::atomic<bool> m_dataOpen{false};
    int m_dataAccepted = 0;
    std::vector<uint8_t> m_dataReceived;
    EscapeDecoder m_decoder;
};

} // namespace Fake
