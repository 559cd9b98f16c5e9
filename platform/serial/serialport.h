#pragma once

// One serial port held exclusively: the open, settings, time-out, status,
// read and write calls the pass-through tool makes on a COM port.
//
// Open is non-blocking and exclusive (flock, and TIOCEXCL but on a pty
// slave, which would keep it after a crash): a port held by
// another process is refused as access denied, a missing one as not found.
// Reads hand out only what is queued; a write waits for room up to the write
// total time-out and then reports what it wrote. A port whose device went
// away (EIO, ENXIO, or a hang-up of a tty that is not a pty master) reports
// itself gone; the caller closes it and opens it again later.
//
// A COM entry that is a pair daemon's socket is the own end of the virtual
// pair (serialownend.h): the daemon hands over the pty master, and the port
// then behaves like the null-modem driver's end: settings belong to the user's
// end and are left alone, the state-insertion call works, and while the user's
// end is closed reads give nothing and writes are dropped as written.

#include "platform/fd/uniquefd.h"
#include "platform/serial/serialsettings.h"

#include <memory>
#include <string>

namespace Serial {

class OwnEnd;

enum class OpenResult { Ok, BadName, NotFound, AccessDenied, Failed };

struct Timeouts {
    int readIntervalMs = 0;
    int readTotalMs = 0;
    int writeTotalMs = 0;
};

struct Status {
    bool ok = false;           // the query worked
    bool gone = false;         // the device went away: close and reopen
    int queued = 0;            // bytes waiting to be read
    bool transmitFull = false; // a write would not take a byte now
};

class Port {
public:
    Port();
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Opens "COMn" (any case) exclusively. Closes a port held before.
    OpenResult open(const std::string& name);
    void close();
    bool isOpen() const { return m_fd.valid(); }
    int descriptor() const { return m_fd.get(); }
    // errno of the last failed call.
    int lastError() const { return m_error; }

    // The own end of a virtual pair.
    bool isOwnEnd() const { return m_ownEnd != nullptr; }

    // Raw 8-bit line: CLOCAL|CREAD, VMIN = VTIME = 0, then the settings.
    bool apply(const Settings& settings);
    bool setTimeouts(const Timeouts& timeouts);
    // The line as the port holds it now (the user's line on the own end).
    bool readSettings(Settings* out);
    // The kernel sizes its queues itself; accepted for the caller's sake.
    bool setQueueSizes(int in, int out);

    // Both halves below; two queries.
    Status status();
    // One query each, for a caller that needs one side only: the input queue
    // (ok, gone, queued) or room for output (ok, gone, transmitFull).
    Status inputStatus();
    Status outputStatus();
    // Queued bytes up to len (0 when none); -1 on failure.
    int read(char* dst, int len);
    // Bytes written (0 when the write time-out passed without room); -1 on failure.
    int write(const char* data, int len);
    // Writes until all of len went out or a write takes nothing within its
    // time-out; the bytes written. *failed tells whether a write failed.
    int writeAll(const char* data, int len, bool* failed);

    // The state-insertion request of the virtual null-modem driver: works on
    // the own end of a virtual pair; a plain tty has no such driver (false).
    bool insertionControl(const unsigned char* in, int inLen, unsigned char* out, int outLen, int* returned);

private:
    void noteError(int error);
    OpenResult openOwnEnd(const std::string& path);
    Status ownEndStatus(bool input, bool output);

    platform::UniqueFd m_fd;
    platform::UniqueFd m_holder; // the own end's connection to its daemon
    std::unique_ptr<OwnEnd> m_ownEnd;
    bool m_isPtyMaster = false;
    int m_error = 0;
    Timeouts m_timeouts;
};

} // namespace Serial
