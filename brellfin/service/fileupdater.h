// Fetches one batch of files from the panel to the PC on a thread of its
// own: pieces sized by the panel, resume of a local first part (whole
// 4096-byte blocks proven by CRC-32), every file proven by MD5 with one full
// retry. Reports through IFileNotify on this thread.
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
} // namespace RPC
} // namespace FF

struct FetchJob {
    std::string remotePath; // UTF-8, "/" separators
    std::string localPath;  // UTF-8
};

class __FileUpdater : public QThread {
public:
    // Neither is owned.
    __FileUpdater(IFileNotify* notify, FF::RPC::DispatchClient* client);

    // Only before startTransfer.
    void addJob(const std::string& remotePath, const std::string& localPath);
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
    bool fetchFile(const FetchJob& job);

    std::atomic<bool> m_cancel{false};
    std::atomic<unsigned int> m_errorCode{NetworkError};
    IFileNotify* m_notify;
    FF::RPC::DispatchClient* m_client;
    std::vector<FetchJob> m_jobs;
};
