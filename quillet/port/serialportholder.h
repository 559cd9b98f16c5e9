#pragma once

#include "platform/serial/serialport.h"

#include <mutex>
#include <string>

namespace TransparentPort {

// What both serial devices keep of their port: the handle, the "COMn" name,
// the mutex each operation holds, and the pause between reopen attempts. A
// port that reports itself gone is closed here; a later operation reopens it.
class SerialPortHolder {
public:
    virtual ~SerialPortHolder() = default;

    // True when the port is open. A closed port with a name is reopened the
    // device's own way, at most every kSerialReopenPauseMs; the operation that
    // reopened it still reports not ready.
    bool ensureOpen();
    // The input queue, one query; a port that went away is closed for a
    // later reopen. The count is remembered for inputCount().
    Serial::Status inputStatus();
    // The input count: the one inputStatus() saw when that found bytes and
    // nothing was read since (input only grows meanwhile), else a new query.
    Serial::Status inputCount();
    // Open, and a write would take a byte now (one query).
    bool writable();
    // After a read: what was counted before no longer holds.
    void forgetCount() { knownQueued = 0; }
    // Writes until all went out or a write stalls: the bytes written, 0 for
    // no data, -1 when the port is closed, -3 when nothing was written.
    int write(const char* data, int len);
    // Opens `name` with `settings`, the device time-outs (read interval
    // `readIntervalMs`) and queue sizes; false when the port stays closed.
    bool openWith(const Serial::Settings& settings, int readIntervalMs);

    Serial::Port port;
    std::string name; // empty when the caller's name was refused: never opens
    std::mutex mutex;
    unsigned long long lastOpenAttempt = 0;

private:
    Serial::Status closeIfGone(const Serial::Status& st);

    int knownQueued = 0;

    virtual void reopen() = 0;
};

} // namespace TransparentPort
