#pragma once

// The part both transfer threads share: one batch's cancel flag and error
// code, the notify interface and the dispatch client it runs on, and the
// start and cancel of the batch.

#include "brellfin/service/runningmd5.h"
#include "brellfin/service/transfererror.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

class IFileNotify;

namespace FF {
namespace RPC {
class DispatchClient;
} // namespace RPC
} // namespace FF

class TransferThread : public QThread {
public:
    // Clears the error code and the cancel flag and starts the thread; does
    // nothing when the notify interface or the client is missing.
    void startTransfer();
    // The current file stops before its next piece; the batch fails with code 3.
    void cancel();

    unsigned int errorCode() const { return m_errorCode; }
    bool cancelled() const { return m_cancel; }

protected:
    // Neither is owned.
    TransferThread(IFileNotify* notify, FF::RPC::DispatchClient* client);

    // Tells the notify interface that done of size bytes of the file stand:
    // a file's first report (first), its last (done == size) and any report
    // a progress interval after the last one go out at once; the others wait
    // and the next report replaces them.
    void reportProgress(const std::string& localPath, std::uint64_t done, std::uint64_t size, bool first = false);
    // A report now would go out at once.
    bool progressDue() const;
    // A report that waits goes out now (before a file's end is reported).
    void flushProgress();

    std::atomic<bool> m_cancel{false};
    std::atomic<unsigned int> m_errorCode{NetworkError};
    IFileNotify* m_notify;
    FF::RPC::DispatchClient* m_client;
    // The MD5 of the file at hand, made as its bytes pass.
    RunningMd5 m_md5;

private:
    struct Report {
        std::string localPath;
        double fraction = 0;
    };
    void deliver(const Report& report);

    QElapsedTimer m_sinceReport;
    std::optional<Report> m_delivered;
    std::optional<Report> m_waiting;
};
