#pragma once

// Sends one batch of files from the PC to the panel's user area or USB disk
// on a thread of its own: a free-space check first, then per file the
// panel's held part proven by CRC-32, 4096-byte pieces, and the whole proven
// by MD5 with one full retry. Reports through IFileNotify on this thread.

#include "brellfin/service/transferthread.h"

#include <string>
#include <vector>

struct SendJob {
    std::string localPath;  // UTF-8
    std::string remotePath; // UTF-8, "/" separators
};

class __FileDownloader : public TransferThread {
public:
    // Neither is owned.
    __FileDownloader(IFileNotify* notify, FF::RPC::DispatchClient* client);

    // Only before startTransfer.
    void addJob(const std::string& localPath, const std::string& remotePath);

protected:
    void run() override;

private:
    bool spaceCheckPasses();
    bool sendFile(const SendJob& job);

    std::vector<SendJob> m_jobs;
};
