#pragma once

// Where a Windows-style port name ("COM3") lives on this machine.
//
// "COMn" (any case, n >= 1) is first looked up as the entry "COMn" of the
// user's COM folder, which holds the virtual pair's ends and links to other
// ttys (USB adapters); without such an entry it is the real port
// /dev/ttyS<n-1>. The folder is $TW_COM_DIR when set, else "tarnwick-com" in
// the user's runtime folder. A folder that is not the user's own or that
// others may write is ignored, so nobody can plant a port for us.

#include <string>

namespace Serial {

constexpr const char* kComDirVariable = "TW_COM_DIR";

// The port number of "COMn" (any case, digits only, n >= 1), or 0.
int comNumber(const std::string& name);

// The COM folder (not created).
std::string comFolder();

// Creates the COM folder with mode 0700 when missing. False when it cannot be
// made or is not a private folder of this user.
bool ensureComFolder();

// The device path for a port name, or "" for a name that is no COM name.
std::string devicePath(const std::string& name);

} // namespace Serial
