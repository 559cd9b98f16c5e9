// setupc.exe: the setup program of the virtual port pair.

#include "platform/vcom/setuptool.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return Vcom::runSetupCommand(args, stdout, stderr);
}
