#pragma once

// The command set of the virtual port pair's setup program: list, busynames,
// preinstall, update, install, change and uninstall, for one pair whose own
// end is CNCA0 and whose user's end is CNCB0. Output lines end in "\n"; the
// result is the program's exit code, 0 or 1.

#include <cstdio>
#include <string>
#include <vector>

namespace Vcom {

int runSetupCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace Vcom
