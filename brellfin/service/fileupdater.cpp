#include "brellfin/service/fileupdater.h"

#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/ifilenotify.h"
#include "brellfin/service/localfiles.h"
#include "brellfin/service/piecewriter.h"
#include "brellfin/service/serviceconstants.h"
#include "brellfin/service/stringopt.h"
#include "brellfin/service/transferhandleguard.h"
#include "framework/rpc/syncproxy.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QFile>

namespace {

using namespace BrellfinService;
namespace Calls = FileServiceCalls;

// Unbuffered: the pieces are gathered by a PieceWriter, whose writes reach
// the file as they are made, so that a full disk fails the write that meets it.
constexpr QIODevice::OpenMode kKeep = QIODevice::ReadWrite | QIODevice::Unbuffered;
constexpr QIODevice::OpenMode kEmpty = QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered;

bool reopenEmpty(QFile& file)
{
    file.close();
    return file.open(kEmpty);
}

} // namespace

__FileUpdater::__FileUpdater(IFileNotify* notify, FF::RPC::DispatchClient* client)
    : TransferThread(notify, client)
{
}

void __FileUpdater::addJob(const std::string& remotePath, const std::string& localPath)
{
    m_jobs.push_back(FetchJob{remotePath, localPath});
}

void __FileUpdater::run()
{
    bool allDone = true;
    try {
        for (const FetchJob& job : m_jobs) {
            if (!fetchFile(job)) {
                allDone = false;
                break;
            }
        }
    } catch (...) {
        platform::reportEscapedException("__FileUpdater::run");
        allDone = false;
    }
    // The last progress of a stopped file is seen before its end.
    flushProgress();
    if (allDone)
        m_notify->onTransferAllDone();
    else
        m_notify->onTransferFailed(m_errorCode);
}

bool __FileUpdater::fetchFile(const FetchJob& job)
{
    const std::string& remote = job.remotePath;
    const QString widePath = StringOpt::FromUtf8ToWide(job.localPath);
    QFile file(widePath);
    if (!file.open(kKeep) && !file.open(kEmpty)) {
        m_errorCode = FileError;
        return false;
    }

    FF::RPC::SyncProxy proxy(m_client);
    // Every way out below destroys the panel's sender, but for a call that threw.
    TransferHandleGuard handle(proxy, Calls::createUpdater2, Calls::destroyUpdater2);
    m_notify->onTransferStarted(job.localPath);

    const std::uint64_t size = Calls::startUpdate2(proxy, handle.get(), remote);
    if (size == kRefused) {
        m_errorCode = FileError;
        return false;
    }
    if (size == 0) {
        if (!reopenEmpty(file)) {
            m_errorCode = FileError;
            return false;
        }
        m_notify->onTransferProgress(job.localPath, 1.0);
        m_notify->onTransferFileDone(job.localPath);
        return true;
    }

    const std::vector<FF::byte> remoteDigest = Calls::getFileMD5(proxy, remote, 0, size);
    if (remoteDigest.empty()) {
        m_errorCode = FileError;
        return false;
    }
    if (m_cancel)
        return false;

    // Resume decision: a complete file is only verified, a longer one
    // emptied, a shorter one resumed from its last whole block when the
    // panel's CRC-32 of that part agrees. The file's MD5 is made as its bytes
    // pass: the kept part in the CRC-32 pass, the rest as it is written.
    m_md5.reset();
    std::uint64_t have = std::uint64_t(file.size());
    bool empty = false;
    if (have != 0 && have != size) {
        if (size < have) {
            empty = true;
        } else {
            have -= have % kResumeBlockSize;
            if (have != 0) {
                std::uint32_t localCrc = 0;
                if (!localFileCrc32(widePath, have, localCrc, m_cancel, &m_md5)) {
                    if (!m_cancel)
                        m_errorCode = FileError;
                    return false;
                }
                empty = localCrc != Calls::getFileCRC32(proxy, remote, 0, have);
            }
        }
    }
    if (empty) {
        have = 0;
        m_md5.reset();
        if (!reopenEmpty(file)) {
            m_errorCode = FileError;
            return false;
        }
    }

    for (int retries = 0;;) {
        file.seek(qint64(have));
        reportProgress(job.localPath, have, size, true);
        std::uint64_t remaining = size - have;
        {
            // Pieces are reported done only once the file holds them; a
            // write that fails ends the job before any later report.
            PieceWriter writer(file, kWriteBufferSize);
            const auto stored = [&] { return have + writer.stored(); };
            // Each piece is hashed while the next one is asked for.
            std::vector<FF::byte> unhashed;
            const auto hashUnhashed = [&] {
                m_md5.addNow(unhashed.data(), unhashed.size());
                unhashed.clear();
            };
            while (remaining > 0) {
                if (m_cancel)
                    return false;
                if (!unhashed.empty())
                    proxy.setWaitWork(hashUnhashed);
                std::vector<FF::byte> piece = Calls::update2(proxy, handle.get(), size - remaining);
                if (!unhashed.empty())
                    hashUnhashed(); // the call ended before its wait work ran
                if (piece.empty())
                    break;
                // More than the file holds would leave a local file longer
                // than the remote one: the job fails at once, keeping what
                // was written before.
                if (piece.size() > remaining) {
                    m_errorCode = FileError;
                    return false;
                }
                if (!writer.add(piece.data(), piece.size()) || (progressDue() && !writer.flush())) {
                    m_errorCode = FileError;
                    return false;
                }
                remaining -= piece.size();
                unhashed = std::move(piece);
                if (stored() < size)
                    reportProgress(job.localPath, stored(), size);
            }
            if (!unhashed.empty())
                hashUnhashed();
            if (!writer.flush()) {
                m_errorCode = FileError;
                return false;
            }
            if (stored() > have)
                reportProgress(job.localPath, stored(), size);
        }
        file.close();
        Calls::finishUpdate2(proxy, handle.get());

        if (remaining == 0) {
            std::vector<FF::byte> localDigest;
            bool digestMade = true;
            if (m_md5.size() == size) {
                localDigest = m_md5.result();
            } else if (!localFileMd5(widePath, localDigest, m_cancel)) {
                // A complete file kept as it stood: read whole once.
                digestMade = false;
                if (!m_cancel)
                    m_errorCode = FileError;
            }
            if (digestMade && localDigest == remoteDigest) {
                m_notify->onTransferFileDone(job.localPath);
                return true;
            }
        }
        if (m_cancel)
            return false;
        if (++retries == 2) {
            if (remaining == 0)
                m_errorCode = CheckError;
            return false;
        }
        have = 0;
        m_md5.reset();
        if (!file.open(kEmpty)) {
            m_errorCode = FileError;
            return false;
        }
        handle.renew();
        Calls::startUpdate2(proxy, handle.get(), remote);
    }
}
