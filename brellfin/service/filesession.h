#pragma once

// One session to one panel's file service: its address, its dispatch client
// and the two transfer threads made on that client. Letting it go cancels
// both threads and breaks the connection, so that no call waits for the
// panel any more, waits for the threads (ThreadHolder, with its limits),
// then stops and deletes the client; a thread left running shares it, and
// the last of them to end frees it.

#include "brellfin/service/filedownloader.h"
#include "brellfin/service/fileupdater.h"
#include "brellfin/service/threadholder.h"
#include "framework/net/address.h"

#include <memory>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

class FileSession {
public:
    FileSession(const FF::Net::Address& address, std::unique_ptr<FF::RPC::DispatchClient> client);
    ~FileSession();
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;

    const FF::Net::Address& address() const { return m_address; }
    FF::RPC::DispatchClient* client() const { return m_client.get(); }
    ThreadHolder<__FileDownloader>& sendThread() { return m_sendThread; }
    ThreadHolder<__FileUpdater>& fetchThread() { return m_fetchThread; }

private:
    // Offline at once: every waiting call ends ("ConnectionInterrupted") and
    // every later one fails without being sent.
    void breakConnection();

    FF::Net::Address m_address;
    std::shared_ptr<FF::RPC::DispatchClient> m_client; // shared with the threads left running
    ThreadHolder<__FileDownloader> m_sendThread;
    ThreadHolder<__FileUpdater> m_fetchThread;
};
