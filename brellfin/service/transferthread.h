// The part both transfer threads share: one batch's cancel flag and error
// code, the notify interface and the dispatch client it runs on, and the
// start and cancel of the batch.
#pragma once

#include "brellfin/service/transfererror.h"

#include <QThread>

#include <atomic>
#include <cstdint>
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

    // Tells the notify interface that done of size bytes of the file stand.
    void reportProgress(const std::string& localPath, std::uint64_t done, std::uint64_t size);

    std::atomic<bool> m_cancel{false};
    std::atomic<unsigned int> m_errorCode{NetworkError};
    IFileNotify* m_notify;
    FF::RPC::DispatchClient* m_client;
};
