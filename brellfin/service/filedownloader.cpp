#include "brellfin/service/filedownloader.h"

#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/ifilenotify.h"
#include "brellfin/service/localfiles.h"
#include "brellfin/service/serviceconstants.h"
#include "brellfin/service/stringopt.h"
#include "brellfin/service/transferhandleguard.h"
#include "framework/net/exception.h"
#include "framework/rpc/syncproxy.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <strings.h>

namespace {

using namespace BrellfinService;
namespace Calls = FileServiceCalls;

// The five methods of one panel-side receiving object.
struct ReceiverMethods {
    FF::Handle (*create)(Calls::Proxy&);
    unsigned long long (*start)(Calls::Proxy&, FF::Handle, const std::string&, unsigned long long);
    bool (*piece)(Calls::Proxy&, FF::Handle, unsigned long long, const Calls::Bytes&);
    void (*finish)(Calls::Proxy&, FF::Handle);
    void (*destroy)(Calls::Proxy&, FF::Handle);
};

const ReceiverMethods kUserArea{Calls::createDownloader2, Calls::startDownload2, Calls::download2,
                                Calls::finishDownload2, Calls::destroyDownloader2};
const ReceiverMethods kUsbDisk{Calls::createUDiskDownloader, Calls::startUDiskDownload, Calls::UDiskdownload,
                               Calls::finishUDiskDownload, Calls::destroyUDiskDownloader};

// The user area when the path begins with its root in any case.
const ReceiverMethods& methodsFor(const std::string& remotePath)
{
    const bool userArea = remotePath.size() >= kUserDirRootLength
                          && ::strncasecmp(remotePath.c_str(), kUserDirRoot, kUserDirRootLength) == 0;
    return userArea ? kUserArea : kUsbDisk;
}

} // namespace

__FileDownloader::__FileDownloader(IFileNotify* notify, FF::RPC::DispatchClient* client)
    : TransferThread(notify, client)
{
}

void __FileDownloader::addJob(const std::string& localPath, const std::string& remotePath)
{
    m_jobs.push_back(SendJob{localPath, remotePath});
}

void __FileDownloader::run()
{
    bool allDone = false;
    unsigned int failure = DiskShortageError;
    try {
        if (spaceCheckPasses()) {
            allDone = true;
            for (const SendJob& job : m_jobs) {
                if (!sendFile(job)) {
                    allDone = false;
                    failure = m_errorCode;
                    break;
                }
            }
        }
    } catch (...) {
        platform::reportEscapedException("__FileDownloader::run");
        allDone = false;
        failure = m_errorCode;
    }
    // The last progress of a stopped file is seen before its end.
    flushProgress();
    if (allDone)
        m_notify->onTransferAllDone();
    else
        m_notify->onTransferFailed(failure);
}

bool __FileDownloader::spaceCheckPasses()
{
    if (m_jobs.empty())
        return true;
    const std::string& first = m_jobs.front().remotePath;
    const std::string root = first.compare(0, kUserDirRootLength, kUserDirRoot) == 0
                                 ? std::string(kUserDirRoot)
                                 : first.substr(0, kOtherRootLength);

    std::uint64_t free = kRefused;
    try {
        FF::RPC::SyncProxy proxy(m_client);
        free = Calls::getFreeDiskSize(proxy, root);
    } catch (const FF::Net::Exception&) {
        // A panel without the call by folder answers the older one.
        try {
            FF::RPC::SyncProxy proxy(m_client);
            free = Calls::getDiskFreeSize(proxy);
        } catch (const FF::Net::Exception& e) {
            qWarning("__FileDownloader: free disk size not read: %s", e.what());
            free = kRefused;
        }
    }
    for (const SendJob& job : m_jobs) {
        const std::uint64_t size = localFileSize(job.localPath);
        if (free < size + kSpaceReserve)
            return false;
        free -= size;
    }
    return true;
}

bool __FileDownloader::sendFile(const SendJob& job)
{
    const ReceiverMethods& methods = methodsFor(job.remotePath);
    const std::string& remote = job.remotePath;
    m_notify->onTransferStarted(job.localPath);

    const QString widePath = StringOpt::FromUtf8ToWide(job.localPath);
    QFile file(widePath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorCode = FileError;
        return false;
    }
    const std::uint64_t size = std::uint64_t(file.size());
    FF::RPC::SyncProxy proxy(m_client);

    if (size == 0) {
        {
            TransferHandleGuard handle(proxy, methods.create, methods.destroy);
            // A refused start is a failed file, not an empty one that arrived.
            if (methods.start(proxy, handle.get(), remote, 0) == kRefused) {
                m_errorCode = FileError;
                return false;
            }
        }
        m_notify->onTransferProgress(job.localPath, 1.0);
        m_notify->onTransferFileDone(job.localPath);
        return true;
    }

    // The file's MD5 is made as its bytes are read: the part the panel
    // holds in the pass that proves it by CRC-32, the rest piece by piece.
    m_md5.reset();
    // Every way out below destroys the panel's receiver, but for a call that threw.
    TransferHandleGuard handle(proxy, methods.create, methods.destroy);
    std::uint64_t offset = methods.start(proxy, handle.get(), remote, size);
    if (offset == kRefused) {
        m_errorCode = FileError;
        return false;
    }
    if (offset != 0 && offset != size) {
        bool restart = offset > size; // an older, longer panel file: replace it
        if (!restart) {
            std::uint32_t localCrc = 0;
            if (!localFileCrc32(widePath, offset, localCrc, m_cancel, &m_md5)) {
                if (!m_cancel)
                    m_errorCode = FileError;
                return false;
            }
            restart = localCrc != Calls::getFileCRC32(proxy, remote, 0, offset);
        }
        if (restart) {
            methods.start(proxy, handle.get(), remote, 0);
            offset = 0;
            m_md5.reset();
        }
    }
    reportProgress(job.localPath, offset, size, true);

    std::vector<FF::byte> piece(kSendPieceSize);
    for (int retries = 0;;) {
        file.seek(qint64(offset));
        std::uint64_t remaining = size - offset;
        while (remaining > 0) {
            if (m_cancel)
                return false;
            const std::uint64_t n = std::min(remaining, kSendPieceSize);
            piece.resize(n);
            if (file.read(reinterpret_cast<char*>(piece.data()), qint64(n)) != qint64(n)) {
                m_errorCode = FileError;
                break;
            }
            // The piece is hashed while it is on its way to the panel.
            proxy.setWaitWork([this, &piece] { m_md5.addNow(piece.data(), piece.size()); });
            if (!methods.piece(proxy, handle.get(), size - remaining, piece)) {
                m_errorCode = FileError;
                return false;
            }
            remaining -= n;
            reportProgress(job.localPath, size - remaining, size);
        }
        methods.finish(proxy, handle.get());

        const std::vector<FF::byte> remoteDigest = Calls::getFileMD5(proxy, remote, 0, size);
        // A short read leaves the digest without the file's end: no match.
        std::optional<std::vector<FF::byte>> localDigest;
        if (remaining == 0 && m_md5.size() == size) {
            localDigest = m_md5.result();
        } else if (remaining == 0) {
            // The panel held the whole file: no byte of it was read yet.
            std::vector<FF::byte> whole;
            if (!localFileMd5(widePath, whole, m_cancel)) {
                if (!m_cancel)
                    m_errorCode = FileError;
                return false;
            }
            localDigest = std::move(whole);
        }
        if (localDigest && remoteDigest == *localDigest) {
            m_notify->onTransferFileDone(job.localPath);
            return true;
        }
        if (++retries == 2) {
            m_errorCode = CheckError;
            return false;
        }
        offset = 0;
        m_md5.reset();
        handle.renew();
        methods.start(proxy, handle.get(), remote, 0);
    }
}
