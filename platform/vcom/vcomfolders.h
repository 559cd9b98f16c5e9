#pragma once

// The places the setup program works in: the state folder with the pair's
// configuration and the daemon's pid, the COM folder (Serial::comFolder) and
// the real UARTs, and the names in use among them.

#include <set>
#include <string>

namespace Vcom {

class PairConfig;

// The state folder (not created).
std::string stateFolder();
// Creates the state folder with mode 0700; false when it cannot be made or is
// not a private folder of this user.
bool ensureStateFolder();

// Whole small files; reads stop at the limit.
bool readSmallFile(const std::string& path, std::string* out);

// The port numbers in use: COM folder entries, real UARTs and, when a
// configuration is given, the pair's own names.
std::set<int> busyPortNumbers(const PairConfig* pair);

// True when the process `pid` runs this very program (and is not a zombie).
bool isOurProcess(int pid);

} // namespace Vcom
