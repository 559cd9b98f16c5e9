#pragma once

// The daemon that keeps one virtual port pair alive: a pty whose slave is the
// user's end (linked into the COM folder under its name) and whose master is
// the own end, served on a Unix socket under the own end's name.
//
// One holder at a time gets the master (SCM_RIGHTS); a second opener is told
// "busy". While nobody holds the own end, what the user writes is read and
// dropped, as the driver's overrun emulation does. SIGTERM removes the entries.

#include "platform/fd/uniquefd.h"
#include "platform/vcom/pairconfig.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace Vcom {

class PairDaemon {
public:
    // Folders are absolute: the daemon works from "/".
    PairDaemon(std::string comFolder, std::string stateFolder);
    ~PairDaemon();
    PairDaemon(const PairDaemon&) = delete;
    PairDaemon& operator=(const PairDaemon&) = delete;

    // Makes the pty and the entries; false when any of it fails.
    bool setUp(const PairConfig& config);
    // Serves until SIGTERM or SIGINT; returns the exit code.
    int run();

    // Starts a detached daemon (double fork, setsid, standard handles on
    // /dev/null) for the configuration in the state folder. Returns at once.
    static bool startDetached(const std::string& comFolder, const std::string& stateFolder);

private:
    struct Client {
        platform::UniqueFd fd;
        std::string line;
        long long since = 0;
    };

    bool linkUserEnd(const std::string& name);
    void reload();
    void serveClient(Client& client);
    void dropHeld();
    void tick();
    void removeEntries();
    bool userOpen() const;
    void clearUserInput();

    std::string m_comFolder;
    std::string m_stateFolder;
    PairConfig m_config;
    std::string m_ownEntry;
    ino_t m_ownInode = 0;
    std::string m_userEntry; // "" while the user's end has no name
    std::string m_slavePath;
    platform::UniqueFd m_master;
    platform::UniqueFd m_listener;
    platform::UniqueFd m_signals;
    platform::UniqueFd m_holder;
    bool m_wasUserOpen = false;
    std::vector<Client> m_clients;
};

} // namespace Vcom
