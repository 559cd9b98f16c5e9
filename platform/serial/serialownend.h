#pragma once

// The own end of the virtual port pair, and the driver it stands in for.
//
// The pair daemon owns a pty: its slave is the user's end (a link in the COM
// folder), its master the own end, served on a Unix socket that sits in the
// COM folder under the own end's name. Opening the own end hands the master
// over (SCM_RIGHTS) to one holder at a time; the holder's connection marks the
// hold, and its close frees the end.
//
// `OwnEnd` emulates the null-modem driver's state insertion on that master:
// the driver announces its options to the query "escape 0, options all ones",
// and once insertion is enabled every data byte equal to the escape byte is
// followed by 0x00, and changes of the user's line settings are put into the
// input as escape records ahead of later data. A pty keeps the speed, the stop
// bits, PARODD and CMSPAR of the user's settings but forces 8 data bits and
// clears PARENB, so the records carry what is kept: even parity reads as none.

#include "platform/fd/uniquefd.h"

#include <cstdint>
#include <string>

namespace Serial {

// Requests on the daemon's socket, one line each, and their answers.
constexpr const char* kOwnEndOpenRequest = "open\n";
constexpr const char* kOwnEndStatusRequest = "status\n";
constexpr const char* kOwnEndReloadRequest = "reload\n";
constexpr const char* kOwnEndGranted = "ok\n";
constexpr const char* kOwnEndBusy = "busy\n";
constexpr const char* kOwnEndFailed = "error\n";
// The status answer: "held=<0|1> user=<0|1>\n".
constexpr int kOwnEndAnswerLimit = 64;
constexpr int kOwnEndAnswerWaitMs = 2000;

// The driver's options, as the query reports them and the enable call takes them.
constexpr uint32_t kInsertLsr = 0x00000001u;         // line status records
constexpr uint32_t kInsertMst = 0x00000002u;         // modem status records
constexpr uint32_t kInsertRbr = 0x00000100u;         // speed records
constexpr uint32_t kInsertRlc = 0x00000200u;         // data bits, parity, stop bits records
constexpr uint32_t kInsertReturnState = 0x01000000u; // enable returns the current records
constexpr uint32_t kInsertClearInput = 0x02000000u;  // enable clears the input
constexpr uint32_t kInsertSupported = 0x03000303u;
constexpr uint32_t kInsertQueryOptions = 0xFFFFFFFFu;
constexpr unsigned char kRecordEscapedData = 0x00;
constexpr unsigned char kRecordLineStatus = 0x02;
constexpr unsigned char kRecordModemStatus = 0x03;
constexpr unsigned char kRecordSpeed = 0x10;
constexpr unsigned char kRecordLineControl = 0x11;

// What the own end can learn of the user's line.
struct LineState {
    uint32_t baud = 0;
    unsigned char dataBits = 8;
    unsigned char parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    unsigned char stopBits = 0; // 0 one, 1 one and a half, 2 two
};

bool operator==(const LineState& a, const LineState& b);

// Reads the user's line from a pty master (the master's termios calls reach the slave).
bool readLineState(int master, LineState* out);

// The answer of the daemon's status request.
struct PairStatus {
    bool held = false;     // some process holds the own end
    bool userOpen = false; // the user's end is open
};

// True when the COM entry at `path` is a pair daemon's socket.
bool isOwnEndEntry(const std::string& path);

enum class OwnEndOpen { Granted, Busy, Failed };

// Asks the daemon at `path` for the own end. Granted: *master is the pty master
// and *holder the connection that marks the hold, until its close.
OwnEndOpen requestOwnEnd(const std::string& path, platform::UniqueFd* master, platform::UniqueFd* holder);

// Sends a one-line request to the daemon at `path` and returns its one-line answer
// ("" when there is no daemon or no answer in time).
std::string askPairDaemon(const std::string& path, const char* request);

// The status of the pair whose own end is the COM name `ownName`; false when no
// daemon answers for it.
bool queryPairStatus(const std::string& ownName, PairStatus* out);

// The driver emulation on one held master.
class OwnEnd {
public:
    explicit OwnEnd(int master)
        : m_master(master)
    {
    }

    // The state-insertion control call: query, enable or disable.
    bool control(const unsigned char* in, int inLen, unsigned char* out, int outLen, int* returned);

    bool userOpen() const;
    // Brings the input queue up to date: settings records, then the user's bytes.
    void refresh();
    int queued() const { return static_cast<int>(m_queue.size() - m_queuePos); }
    // Hands out queued bytes (call refresh first).
    int take(char* dst, int len);

    unsigned char escape() const { return m_escape; }
    uint32_t options() const { return m_options; }

private:
    void appendRecords(unsigned char escape, const LineState& state, uint32_t which, std::string* out) const;
    void appendData(const char* data, int len);
    void dropInput();

    int m_master;
    unsigned char m_escape = 0; // 0: insertion off
    uint32_t m_options = 0;
    bool m_enabledOnce = false;
    LineState m_reported;
    std::string m_queue;
    size_t m_queuePos = 0;
};

} // namespace Serial
