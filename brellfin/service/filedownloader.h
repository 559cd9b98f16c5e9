// Sends one batch of files from the PC to the panel's user area or USB disk
// on a thread of its own: a free-space check first, then per file the
// panel's held part proven by CRC-32, 4096-byte pieces, and the whole proven
// by MD5 with one full retry. Reports through IFileNotify on this thread.
#pragma once

#include "brellfin/service/transfererror.h"

#include <QThread>

#include <atomic>
#include <string>
#include <vector>

class IFileNotify;

namespace FF {
namespace RPC {
class DispatchClient;
class SyncProxy;
} // namespace RPC
} // namespace FF

struct SendJob {
    std::string localPath;  // UTF-8
    std::string remotePath; // UTF-8, "/" separators
};

class __FileDownloader : public QThread {
public:
    // Neither is owned.
    __FileDownloader(IFileNotify* notify, FF::RPC::DispatchClient* client);

    // Only before startTransfer.
    void addJob(const std::string& localPath, const std::string& remotePath);
    // Clears the error code and the cancel flag and starts the thread; does
    // nothing when the notify interface or the client is missing.
    void startTransfer();
    // The current file stops before its next piece; the batch fails with code 3.
    void cancel();

    unsigned int errorCode() const { return m_errorCode; }
    bool cancelled() const { return m_cancel; }

protected:
    void run() override;

private:
    bool spaceCheckPasses();
    bool sendFile(const SendJob& job);

    std::atomic<bool> m_cancel{false};
    std::atomic<unsigned int> m_errorCode{NetworkError};
    IFileNotify* m_notify;
    FF::RPC::DispatchClient* m_client;
    std::vector<SendJob> m_jobs;
};
