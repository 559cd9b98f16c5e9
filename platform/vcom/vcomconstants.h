#pragma once

// Names, places and time limits of the virtual port pair's setup program and
// its daemon, in one place.

namespace Vcom {

// The pair's two ends as the setup program names them.
constexpr const char* kOwnEndId = "CNCA0";
constexpr const char* kUserEndId = "CNCB0";
constexpr const char* kPortNameKey = "PortName";
constexpr const char* kRealPortNameKey = "RealPortName";
constexpr const char* kAutoPortName = "COM#";
constexpr const char* kListIndent = "       ";

// Where the pair's configuration lives: $TW_VCOM_STATE_DIR, else
// $XDG_STATE_HOME/tarnwick-vcom, else ~/.local/state/tarnwick-vcom.
constexpr const char* kStateDirVariable = "TW_VCOM_STATE_DIR";
// Where real UARTs are looked for (tests point it at an empty folder).
constexpr const char* kTtyClassDirVariable = "TW_TTY_CLASS_DIR";
constexpr const char* kDefaultTtyClassDir = "/sys/class/tty";

constexpr const char* kConfigFile = "pair.conf";
constexpr const char* kPidFile = "daemon.pid";
constexpr const char* kLockFile = "lock";

constexpr int kDaemonStartWaitMs = 3000; // until a started daemon answers
constexpr int kDaemonStopWaitMs = 2000;  // until a stopped daemon is gone
constexpr int kDaemonTickMs = 50;        // how often the daemon looks at the user's end
constexpr int kConfigCheckMs = 1000;     // how often it checks that its pair is still configured
constexpr int kClientLineWaitMs = 2000;  // a client that sends no request by then is dropped
constexpr int kMaxClients = 16;
constexpr int kConfigLimit = 4096; // bytes of configuration read at most

// The initial line of the user's end.
constexpr unsigned kInitialBaud = 9600;

} // namespace Vcom
