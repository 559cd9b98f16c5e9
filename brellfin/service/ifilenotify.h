#pragma once

// What a transfer thread tells the list that started its batch, always on the
// transfer thread. After onTransferAllDone or onTransferFailed nothing more
// of that batch follows.

#include <string>

class IFileNotify {
public:
    virtual ~IFileNotify() = default;
    // A file begins; localPath is the job's local path in UTF-8.
    virtual void onTransferStarted(const std::string& localPath) = 0;
    // After the resume decision and after every piece; fraction in 0..1.
    virtual void onTransferProgress(const std::string& localPath, double fraction) = 0;
    // The file arrived and its MD5 matches.
    virtual void onTransferFileDone(const std::string& localPath) = 0;
    // Every file of the batch is done.
    virtual void onTransferAllDone() = 0;
    // The batch stopped; code 0..5 indexes the transfer error words.
    virtual void onTransferFailed(unsigned int code) = 0;
};
