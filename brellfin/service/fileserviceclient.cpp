#include "brellfin/service/fileserviceclient.h"

#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/filesession.h"
#include "brellfin/service/serviceconstants.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QCryptographicHash>

namespace Calls = FileServiceCalls;

namespace {

// Waits for holder's previous batch to end, then starts a new thread on
// client with the jobs (pairs in the thread's own order); false when any
// step throws or the previous thread was left running.
template <class Transfer>
bool startBatch(ThreadHolder<Transfer>& holder, FF::RPC::DispatchClient* client,
                const std::vector<std::pair<std::string, std::string>>& files, IFileNotify* notify)
{
    try {
        if (!holder.reset())
            return false;
        holder.reset(new Transfer(notify, client));
        for (const auto& file : files)
            holder.get()->addJob(file.first, file.second);
        holder.get()->startTransfer();
        return true;
    } catch (...) {
        platform::reportEscapedException("FileServiceClient batch start");
        return false;
    }
}

} // namespace

// Around every operation that may hold its caller for the panel: only the
// outermost tells the hook, and the hook it told true is the one told false.
class FileServiceClient::WaitScope {
public:
    explicit WaitScope(FileServiceClient& client)
        : m_client(client)
    {
        if (m_client.m_waitDepth++ == 0 && m_client.m_waitHook) {
            m_told = m_client.m_waitHook;
            m_told(true);
        }
    }
    ~WaitScope()
    {
        --m_client.m_waitDepth;
        if (m_told)
            m_told(false);
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    FileServiceClient& m_client;
    std::function<void(bool)> m_told;
};

FileServiceClient::FileServiceClient() = default;

// No session: failed at once. Otherwise one call object for this call; any
// exception, from making the call object to reading the result, is failed.
template <class Result, class Operation>
Result FileServiceClient::callOrFail(Result failed, Operation operation)
{
    if (!m_session)
        return failed;
    const WaitScope waiting(*this);
    try {
        FF::RPC::SyncProxy proxy(m_session->client());
        if (m_callTimeOutMs != 0)
            proxy.setTimeOut(m_callTimeOutMs);
        return operation(proxy);
    } catch (...) {
        platform::reportEscapedException("FileServiceClient call");
        return failed;
    }
}

FileServiceClient::~FileServiceClient()
{
    releaseSession();
}

void FileServiceClient::releaseSession()
{
    m_session.reset();
}

bool FileServiceClient::connect(const FF::Net::Address& address)
{
    if (m_session && m_session->client()->online() && m_session->address() == address)
        return true;
    // The probe and the init handshake take their time (seconds from a panel that is silent).
    const WaitScope waiting(*this);
    releaseSession();
    try {
        if (!FF::Net::TCPClient::CheckConnection(address, BrellfinService::kProbeWindowMs))
            return false;
        auto client = std::make_unique<FF::RPC::DispatchClient>(address, FF::Net::TCPClient::NewFactory());
        client->setRetryMaxTimes(0);
        auto session = std::make_unique<FileSession>(address, std::move(client));
        m_session = std::move(session);
        return m_session->client()->online();
    } catch (...) {
        platform::reportEscapedException("FileServiceClient::connect");
        m_session.reset();
        return false;
    }
}

void FileServiceClient::disconnect()
{
    if (!m_session)
        return;
    const WaitScope waiting(*this);
    releaseSession();
}

bool FileServiceClient::isConnected() const
{
    return m_session && m_session->client()->online();
}

bool FileServiceClient::checkProjectPassword(const std::string& password)
{
    return projectPasswordAccepted(password).value_or(false);
}

std::optional<bool> FileServiceClient::projectPasswordAccepted(const std::string& password)
{
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray(password.data(), int(password.size())), QCryptographicHash::Md5).toHex();
    return callOrFail(std::optional<bool>(), [&](Calls::Proxy& p) {
        return std::optional<bool>(Calls::projectCheckPassword(p, digest.toStdString()));
    });
}

bool FileServiceClient::projectHasPassword()
{
    return projectPasswordRequired().value_or(false);
}

std::optional<bool> FileServiceClient::projectPasswordRequired()
{
    return callOrFail(std::optional<bool>(),
                      [&](Calls::Proxy& p) { return std::optional<bool>(Calls::projectHasPassword(p)); });
}

bool FileServiceClient::createFile(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::createFile(p, path); });
}

bool FileServiceClient::createFolder(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::createFolder(p, path); });
}

bool FileServiceClient::createUDiskFile(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::createUDiskFile(p, path); });
}

bool FileServiceClient::createUDiskFolder(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::createUDiskFolder(p, path); });
}

bool FileServiceClient::removeFileOrFolder(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::removeFileOrFolder(p, path); });
}

bool FileServiceClient::renameFile(const std::string& oldPath, const std::string& newPath)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::renameFile(p, oldPath, newPath); });
}

bool FileServiceClient::hasFileOrFolder(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::hasFileOrFolder(p, path); });
}

bool FileServiceClient::isFile(const std::string& path)
{
    return callOrFail(false, [&](Calls::Proxy& p) { return Calls::isFile(p, path); });
}

std::optional<bool> FileServiceClient::checkFileOrFolder(const std::string& path)
{
    return callOrFail(std::optional<bool>(),
                      [&](Calls::Proxy& p) { return std::optional<bool>(Calls::hasFileOrFolder(p, path)); });
}

std::uint64_t FileServiceClient::getFileSize(const std::string& path)
{
    return fileSize(path).value_or(0);
}

std::optional<std::uint64_t> FileServiceClient::fileSize(const std::string& path)
{
    return callOrFail(std::optional<std::uint64_t>(),
                      [&](Calls::Proxy& p) { return std::optional<std::uint64_t>(Calls::getFileSize(p, path)); });
}

std::int64_t FileServiceClient::getFileModifyTime(const std::string& path)
{
    return callOrFail(std::int64_t(-1),
                      [&](Calls::Proxy& p) { return std::int64_t(Calls::getFileModifyTime(p, path)); });
}

std::string FileServiceClient::getEnvPath(const std::string& name)
{
    return callOrFail(std::string(), [&](Calls::Proxy& p) { return Calls::getEnvPath(p, name); });
}

bool FileServiceClient::searchFiles(const std::string& folder, std::vector<std::string>& names)
{
    return callOrFail(false, [&](Calls::Proxy& p) {
        names = Calls::searchFiles(p, folder);
        return true;
    });
}

bool FileServiceClient::searchFolders(const std::string& folder, std::vector<std::string>& names)
{
    return callOrFail(false, [&](Calls::Proxy& p) {
        names = Calls::searchFolders(p, folder);
        return true;
    });
}

bool FileServiceClient::startSendToPanel(const std::vector<std::pair<std::string, std::string>>& files,
                                         IFileNotify* notify)
{
    if (!m_session)
        return false;
    const WaitScope waiting(*this); // for the previous batch's thread
    return startBatch(m_session->sendThread(), m_session->client(), files, notify);
}

bool FileServiceClient::startFetchFromPanel(const std::vector<std::pair<std::string, std::string>>& files,
                                            IFileNotify* notify)
{
    if (!m_session)
        return false;
    const WaitScope waiting(*this); // for the previous batch's thread
    return startBatch(m_session->fetchThread(), m_session->client(), files, notify);
}

void FileServiceClient::cancelTransfers()
{
    if (!m_session)
        return;
    if (m_session->fetchThread())
        m_session->fetchThread().get()->cancel();
    if (m_session->sendThread())
        m_session->sendThread().get()->cancel();
}
