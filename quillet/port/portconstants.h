#pragma once

// Sizes and time limits of the pass-through data path, in one place.

namespace TransparentPort {

constexpr int kBufferSize = 8192;      // each direction's buffer, and its upper limit
constexpr int kSmallBufferSize = 2048; // what resize() makes of a size <= 0

// Serial side.
constexpr const char* kSmartSerialSettings = "baud=19200 parity=N data=8 stop=1";
constexpr int kFirstOpenReadIntervalMs = 10;
constexpr int kReopenReadIntervalMs = 20;
constexpr int kReadTotalConstantMs = 1000;
constexpr int kWriteTotalConstantMs = 5000;
constexpr int kSerialQueueSize = 8192;
constexpr int kSerialReopenPauseMs = 100; // a closed port is tried again at most this often
constexpr unsigned long kInsertionControlCode = 0x1B007C;
constexpr unsigned char kInsertionQueryEscape = 0x00;
constexpr unsigned char kInsertionEnableEscape = 0x61;
constexpr unsigned kInsertionAllOptions = 0xFFFFFFFFu;
constexpr unsigned kInsertionOptionFilter = 0x03000300u;
constexpr unsigned kInsertionDefaultMask = 3;
constexpr int kInsertionRefreshMs = 10000;

// TCP side.
constexpr int kSocketBufferSize = 10240;
// The largest segment the link announces, an Ethernet frame's. The panel's
// TCP cuts its segments to half the largest window it was ever offered when
// the path allows more (loopback, jumbo frames), and sends one only when the
// whole of it fits the window. The window of a 10240-byte buffer holds at most
// two such segments; once the kernel rounds it down to whole segments of a
// size a little below the panel's (the size it received last), it holds not
// one, and every segment then waits for the panel's persist timer (200 ms or
// more) for as long as the link lasts. Segments of this size fit the window
// several times over.
constexpr int kSegmentLimit = 1460;
constexpr int kConnectLimitMs = 10000;   // a connect that has not finished by then is dropped
constexpr int kHardErrorPauseMs = 10000; // no new connect this long after a hard connect error
constexpr int kIdleLimitMs = 5000;       // a link with nothing received nor waiting this long is rebuilt
// The socket's readiness is looked at, never waited for: the worker waits
// for both sides at once. An interrupted look is repeated, this often in all.
constexpr int kReadinessLookTries = 3;

// Worker: a turn that moved nothing waits at most this long for either side,
// so that the link and the smart port keep stepping while nothing comes.
constexpr int kIdleWaitMs = 1;

} // namespace TransparentPort
