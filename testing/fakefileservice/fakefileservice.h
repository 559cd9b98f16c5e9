#pragma once

// A panel's file service on loopback, for tests: the 34 file methods over a
// temporary folder (removed with all it holds by the destructor), on top of
// FakePanelService. Panel paths map into the folder:
//   "/storage/user_dir/..." (the root in any case) -> <folder>/user_dir/...
//   "/media/usbN/..."                               -> <folder>/usbN/...
// "user_dir" and "usb0" exist from the start. A path with "." or ".."
// components, a zero byte or another root maps nowhere, and the methods treat
// it as missing: nothing ever leaves the folder.
//
//   Fake::FakeFileService panel;                 // 127.0.0.1, ephemeral port
//   panel.putFile("/storage/user_dir/a.bin", bytes);
//   client.connect(FF::Net::Address(panel.endpoint().c_str()));
//
// Transfers: a PC-to-panel start with size 0 empties the file and answers 0;
// with any other size it answers the length the panel holds. A panel-to-PC
// start answers the file's size; "update2" answers pieces of 4096 bytes
// unless set otherwise. Faults are switched on by the knobs below; each knob
// applies from the next call on.

#include "testing/fakefileservice/filecalllog.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/main/tempfolder.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Fake {

class FakeFileService {
public:
    enum class Corruption { None, Once, Always };

    // Listens at once (port 127 works on any 127.x.y.z address when run as root).
    explicit FakeFileService(const std::string& address = "127.0.0.1", uint16_t port = 0);
    ~FakeFileService();
    FakeFileService(const FakeFileService&) = delete;
    FakeFileService& operator=(const FakeFileService&) = delete;

    FakePanelService& panel() { return *m_panel; }
    std::string endpoint() const { return m_panel->endpoint(); }
    const std::string& address() const { return m_panel->address(); }
    uint16_t port() const { return m_panel->port(); }

    // The temporary folder and the place of a panel path in it.
    const std::string& folder() const { return m_folder.path(); }
    std::optional<std::string> localPath(const std::string& panelPath) const;
    // Direct access to the panel's files (parent folders are made as needed).
    void putFile(const std::string& panelPath, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> fileBytes(const std::string& panelPath) const;
    bool exists(const std::string& panelPath) const;

    // The call log, oldest first.
    std::vector<FileCall> log() const;
    std::vector<std::string> methods() const;
    size_t count(const std::string& method) const;
    void clearLog();
    // false: forget every call as soon as it is served (long transfers).
    void setKeepLog(bool keep);
    // Handles the panel holds open now.
    size_t openHandles() const;

    // Knobs.
    // Every PC-to-panel and panel-to-PC start answers all bits set.
    void setRefuseStart(bool refuse);
    // The k-th piece written from now on (1 = the next) answers false.
    void setRefusedPiece(std::optional<uint64_t> k);
    // Pieces are stored with their first byte inverted: the next one only, or every one.
    void setCorruption(Corruption corruption);
    // Bytes per "update2" piece.
    void setUpdatePieceSize(uint32_t size);
    // The piece that reaches the end of the file carries this many bytes more.
    void setUpdateOversize(uint32_t extra);
    // "update2" at or beyond this offset answers an empty piece.
    void setUpdateEmptyFrom(std::optional<uint64_t> offset);
    // "getFileMD5" answers these bytes (empty: an empty digest).
    void setMd5Answer(std::optional<std::vector<uint8_t>> digest);
    // "getFreeDiskSize" and "getDiskFreeSize" answer this.
    void setFreeSpace(uint64_t bytes);
    // "getFreeDiskSize" fails (status 2).
    void setFailFreeDiskSize(bool fail);
    // Replies to method (every method when empty) leave this much later.
    void setCallDelay(const std::string& method, std::chrono::milliseconds delay);
    // The same from the k-th call of method on (1 = the next; the method
    // still runs at once, only its reply waits): a transfer held at a known piece.
    void setCallDelayFrom(const std::string& method, uint64_t k, std::chrono::milliseconds delay);
    // After this many more calls the next call drops the connection unanswered.
    void dropConnectionAfterCalls(int calls) { m_panel->dropConnectionAfterCalls(calls); }
    // The first result of every reply carries this type name.
    void setWrongResultTypeName(std::optional<std::string> name) { m_panel->setWrongResultTypeName(std::move(name)); }
    // "searchFiles" and "searchFolders" answer these names for every folder.
    void setSearchNames(std::optional<std::vector<std::string>> files, std::optional<std::vector<std::string>> folders);
    // Every folder has one sub-folder "deeper", without end.
    void setEndlessFolders(bool endless);
    // The project's password (nullopt: none).
    void setProjectPassword(std::optional<std::string> password);
    void setEnv(const std::string& name, const std::string& value);

private:
    struct Transfer {
        enum Kind { UserReceiver, UsbReceiver, Sender } kind = UserReceiver;
        int fd = -1;
        uint64_t size = 0;
    };
    using Handler = std::function<void(MethodArgs&, MethodResult&)>;

    void add(const std::string& name, Handler handler);
    void registerMethods();
    Transfer& transfer(uint32_t handle);
    void closeTransfer(Transfer& transfer);
    uint32_t newHandle(Transfer::Kind kind);
    uint64_t startReceiving(MethodArgs& args);
    bool writePiece(MethodArgs& args);
    std::string mapped(const std::string& panelPath) const;

    TestFolder::TempFolder m_folder{"fakefileservice"};
    mutable std::mutex m_mutex;
    std::map<uint32_t, Transfer> m_transfers;
    uint32_t m_nextHandle = 0x100;
    bool m_keepLog = true;
    bool m_refuseStart = false;
    std::optional<uint64_t> m_refusedPiece;
    uint64_t m_piecesWritten = 0;
    Corruption m_corruption = Corruption::None;
    uint32_t m_updatePieceSize = 4096;
    uint32_t m_updateOversize = 0;
    std::optional<uint64_t> m_updateEmptyFrom;
    std::optional<std::vector<uint8_t>> m_md5Answer;
    uint64_t m_freeSpace = uint64_t(1) << 40;
    bool m_failFreeDiskSize = false;
    std::map<std::string, std::chrono::milliseconds> m_delays;
    struct LaterDelay {
        uint64_t callsLeft = 0; // calls of the method up to the first it holds, that one included
        std::chrono::milliseconds delay{0};
    };
    std::map<std::string, LaterDelay> m_laterDelays;
    std::optional<std::vector<std::string>> m_searchFiles;
    std::optional<std::vector<std::string>> m_searchFolders;
    bool m_endless = false;
    std::optional<std::string> m_password;
    std::map<std::string, std::string> m_env;

    // Last: stopped and destroyed before everything its methods use.
    std::unique_ptr<FakePanelService> m_panel;
};

} // namespace Fake
