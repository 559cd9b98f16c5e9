#pragma once

// The one object through which the tool talks to a panel: at most one
// session to one panel's file service, every call turned into a plain result
// that never throws, and the start of the two transfer threads. Used on the
// UI thread only.

#include "framework/net/address.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class FileSession;
class IFileNotify;

class FileServiceClient {
public:
    FileServiceClient();
    // Releases the session (see disconnect).
    ~FileServiceClient();
    FileServiceClient(const FileServiceClient&) = delete;
    FileServiceClient& operator=(const FileServiceClient&) = delete;

    // True when a session to address is online: an existing online session
    // to the same address is kept; otherwise the old one is released (as by
    // disconnect), the address probed (1000 ms) and a new client made (no
    // reconnection).
    bool connect(const FF::Net::Address& address);
    // Releases the session: a running transfer stops at once, its call in
    // flight ended by the connection's break (the batch fails with code 3;
    // partial files stay for a resume), and is waited for.
    void disconnect();
    bool isConnected() const;

    // password's bytes as they stand, sent as the lower-case hex of their MD5.
    bool checkProjectPassword(const std::string& password);
    // What the panel answered about password, or nothing when it gave no
    // answer (no session, no reply within the call's limit, a refused or
    // broken call): a failed check, which checkProjectPassword reads as wrong.
    std::optional<bool> projectPasswordAccepted(const std::string& password);
    bool projectHasPassword();
    // Whether the panel's project asks for its password, or nothing when the
    // panel gave no answer (as above), which projectHasPassword reads as no.
    std::optional<bool> projectPasswordRequired();
    bool createFile(const std::string& path);
    bool createFolder(const std::string& path);
    bool createUDiskFile(const std::string& path);
    bool createUDiskFolder(const std::string& path);
    bool removeFileOrFolder(const std::string& path);
    bool renameFile(const std::string& oldPath, const std::string& newPath);
    bool hasFileOrFolder(const std::string& path);
    // What the panel answered about path, or nothing when it gave no answer
    // (no session, no reply within the call's limit, a refused or broken
    // call): a failed check, which hasFileOrFolder reads as absent.
    std::optional<bool> checkFileOrFolder(const std::string& path);
    bool isFile(const std::string& path);
    // 0 on failure.
    std::uint64_t getFileSize(const std::string& path);
    // The size the panel answered for path, or nothing when it gave no answer
    // (as for checkFileOrFolder), which getFileSize reads as 0, an empty file.
    std::optional<std::uint64_t> fileSize(const std::string& path);
    // -1 on failure; otherwise whatever the panel answers.
    std::int64_t getFileModifyTime(const std::string& path);
    // Empty on failure.
    std::string getEnvPath(const std::string& name);
    // True with names replaced; false with names untouched.
    bool searchFiles(const std::string& folder, std::vector<std::string>& names);
    bool searchFolders(const std::string& folder, std::vector<std::string>& names);

    // Starts a PC-to-panel batch of (local path, remote path) pairs, after
    // waiting for the previous one to end. False without a session.
    bool startSendToPanel(const std::vector<std::pair<std::string, std::string>>& files, IFileNotify* notify);
    // Starts a panel-to-PC batch of (remote path, local path) pairs.
    bool startFetchFromPanel(const std::vector<std::pair<std::string, std::string>>& files, IFileNotify* notify);
    // Sets both running threads' cancel flags (code 3); does not wait.
    void cancelTransfers();

    // The limit of each call the operations above make (100000 ms until set;
    // 0 sets it back). The transfer threads keep their own.
    void setCallTimeOut(unsigned int ms) { m_callTimeOutMs = ms; }
    // Told true before an operation begins to hold its caller for the panel
    // (a call, the connect, a session's release, the wait for a batch's
    // previous thread) and false once it returns; an operation inside
    // another tells nothing more. The window shows its wait cursor meanwhile.
    void setWaitHook(std::function<void(bool waiting)> hook) { m_waitHook = std::move(hook); }

private:
    class WaitScope;
    template <class Result, class Operation>
    Result callOrFail(Result failed, Operation operation);
    void releaseSession();

    std::unique_ptr<FileSession> m_session;
    unsigned int m_callTimeOutMs = 0;
    std::function<void(bool)> m_waitHook;
    int m_waitDepth = 0;
};
