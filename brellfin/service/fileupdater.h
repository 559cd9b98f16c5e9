#pragma once

// Fetches one batch of files from the panel to the PC on a thread of its
// own: pieces sized by the panel, resume of a local first part (whole
// 4096-byte blocks proven by CRC-32), every file proven by MD5 with one full
// retry. Reports through IFileNotify on this thread.

#include "brellfin/service/transferthread.h"

#include <string>
#include <vector>

struct FetchJob {
    std::string remotePath; // UTF-8, "/" separators
    std::string localPath;  // UTF-8
};

class __FileUpdater : public TransferThread {
public:
    // Neither is owned.
    __FileUpdater(IFileNotify* notify, FF::RPC::DispatchClient* client);

    // Only before startTransfer.
    void addJob(const std::string& remotePath, const std::string& localPath);

protected:
    void run() override;

private:
    bool fetchFile(const FetchJob& job);

    std::vector<FetchJob> m_jobs;
};
