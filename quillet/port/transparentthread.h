#pragma once

#include <QObject>

#include <memory>
#include <mutex>
#include <string>

class TransparentThreadPrivate;

// Starts, checks and stops the local half of a pass-through: a serial port
// on the PC joined to the panel's pass-through TCP port by one worker thread.
class TransparentThread : public QObject {
    Q_OBJECT
public:
    explicit TransparentThread(QObject* parent = nullptr);
    ~TransparentThread() override;

    // "COMn" opens Quillet's own end of the virtual pair; "COMn:<settings>"
    // a plain serial port with those settings. Stops a running pass-through
    // first.
    void start(const std::string& port, const std::string& ip, int tcpPort);
    void stop();
    // The serial port is open and not full, and the link to the panel is up.
    bool isConnected();

private:
    void stopLocked();

    std::mutex m_mutex;
    std::unique_ptr<TransparentThreadPrivate> d;
};
