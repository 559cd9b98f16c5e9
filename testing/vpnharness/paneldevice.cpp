// The panel side of the forwarding lab, run inside the panel's namespace:
// the bridge methods of the panel's service on ADDRESS:PORT and an echo
// listener on the address of the network behind the panel. The heart-beat
// answers "bridge on" until CONTROL holds "0"; every bridge switch is noted
// as a line "on" or "off" in CONTROL.calls. READY is written once both
// listen.
//   vpnharness_panel ADDRESS PORT ECHO_ADDRESS ECHO_PORT CONTROL READY

#include "testing/fakepanel/fakepanelservice.h"
#include "testing/fakepanel/wirewriter.h"
#include "testing/panelservices/panelmethodtable.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

bool bridgeWanted(const std::string& control)
{
    std::ifstream in(control);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.find('0') == std::string::npos;
}

void echo(int fd)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (write(fd, buffer, static_cast<size_t>(n)) != n)
            break;
    }
    close(fd);
}

int listenOn(const char* address, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, address, &sa.sin_addr) != 1
        || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0)
        return -1;
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7)
        return 2;
    const std::string control = argv[5];
    Fake::FakePanelService service(argv[1], static_cast<uint16_t>(std::atoi(argv[2])));
    Fake::PanelMethodTable table(service, Fake::PanelMethodTable::serviceMethods());
    const std::string calls = control + ".calls";
    table.setResponder("bridgeControl", [calls](const std::vector<Fake::PanelArg>& args) {
        std::ofstream(calls, std::ios::app) << (args.at(1).boolean() ? "on\n" : "off\n");
        return Fake::WireWriter().i32(0).take();
    });
    table.setResponder("bridgeBeat", [control](const std::vector<Fake::PanelArg>&) {
        return Fake::WireWriter().i32(bridgeWanted(control) ? 1 : 0).string("{harness}").take();
    });
    const int echoFd = listenOn(argv[3], std::atoi(argv[4]));
    if (echoFd < 0)
        return 3;
    if (FILE* ready = std::fopen(argv[6], "w")) {
        std::fputs("ready\n", ready);
        std::fclose(ready);
    }
    for (;;) {
        const int fd = accept4(echoFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            std::thread(echo, fd).detach();
    }
}
