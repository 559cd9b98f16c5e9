// The tool from its start with a panel address to transfers both ways, in a
// user and network namespace of the test's own with the fake file service on
// the panel's port 127 of 127.0.0.1: a tree sent and fetched back, copy in
// one pane and paste in the other both ways, and the window closed while a
// batch runs.
#include "brellfin/dialog/tests/dialogfixture.h"
#include "brellfin/ui/tests/namespacerun.h"

#include "brellfin/dialog/armfilelist.h"
#include "brellfin/dialog/winshelllist.h"
#include "brellfin/lists/listconstants.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

namespace {

using namespace BrellfinLists;

constexpr const char* kPanelAddress = "127.0.0.1";

std::vector<uint8_t> pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 31 + seed);
    return bytes;
}

class EndToEnd : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        ASSERT_TRUE(m_pc.isValid());
        // The menus answer with the command the test wants, if it is there and enabled.
        m_menuAnswer = [this](const Mfc::MenuCall& call) {
            const Mfc::MenuCallEntry* entry = call.find(m_command);
            return entry && entry->enabled ? m_command : 0u;
        };
        m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    }
    void TearDown() override
    {
        destroyDialog();
        m_panel.reset();
        DialogFixture::TearDown();
    }
    // Chooses command in the menu of the row name, or of the empty area.
    void choose(CListCtrl& list, UINT command, const QString& name = QString())
    {
        if (!name.isEmpty())
            select(list, {name});
        m_command = command;
        const size_t shown = m_menus.size();
        list.simulateClick(NM_RCLICK, name.isEmpty() ? -1 : rowOf(list, name), 0);
        m_command = 0;
        ASSERT_EQ(m_menus.size(), shown + 1);
        const Mfc::MenuCallEntry* entry = m_menus.back().find(command);
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->enabled);
    }
    void transport(CListCtrl& list, const QString& name) { choose(list, kCmdTransport, name); }
    void writeTree(const QString& root)
    {
        for (size_t i = 0; i < m_files.size(); ++i) {
            const QString path = root + "/" + m_files[i].first;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            const std::vector<uint8_t> bytes = pattern(m_files[i].second, uint8_t(i));
            file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        }
    }
    void expectTreeOnPanel(const std::string& root)
    {
        for (size_t i = 0; i < m_files.size(); ++i)
            EXPECT_EQ(m_panel->fileBytes(root + "/" + m_files[i].first.toStdString()),
                      pattern(m_files[i].second, uint8_t(i)))
                << root << " " << m_files[i].first.toStdString();
    }
    void expectTreeOnPc(const QString& root)
    {
        for (size_t i = 0; i < m_files.size(); ++i) {
            const std::vector<uint8_t> bytes = pattern(m_files[i].second, uint8_t(i));
            EXPECT_EQ(readFile(root + "/" + m_files[i].first),
                      QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())))
                << m_files[i].first.toStdString();
        }
    }

    const std::vector<std::pair<QString, size_t>> m_files = {{"tree/a.bin", 0},
                                                             {"tree/b.bin", 4096},
                                                             {"tree/in/c.bin", 10000},
                                                             {"tree/in/deep/d.bin", 70000},
                                                             {QString::fromUtf8("tree/中文/文件.bin"), 5000}};
    UINT m_command = 0;
    QTemporaryDir m_pc;
    std::unique_ptr<Fake::FakeFileService> m_panel;
};

TEST_F(EndToEnd, SendATreeFetchItBackCopyAndPasteBothWaysAndCloseMidTransfer)
{
    TWBF_IN_NAMESPACE();
    m_panel = std::make_unique<Fake::FakeFileService>(kPanelAddress, 127);
    writeTree(m_pc.path());
    start({kPanelAddress});
    ASSERT_TRUE(dialog().fileService()->isConnected());
    ArmFileList& remote = *dialog().remoteList();
    WinShellList& local = *dialog().localList();

    remote.setCurrentPath("/storage/user_dir");
    local.navigateTo(m_pc.path());
    transport(local, "tree");
    ASSERT_TRUE(waitUntil([&] { return !local.isTransferring(); }, 60000));
    expectTreeOnPanel("/storage/user_dir");

    // Fetched into another PC folder.
    ASSERT_TRUE(QDir(m_pc.path()).mkdir("back"));
    local.navigateTo(m_pc.filePath("back"));
    remote.setCurrentPath("/storage/user_dir");
    transport(remote, "tree");
    ASSERT_TRUE(waitUntil([&] { return !remote.isTransferring(); }, 60000));
    expectTreeOnPc(m_pc.filePath("back"));

    // Copied in the PC pane, pasted in the panel pane's empty area.
    local.navigateTo(m_pc.path());
    choose(local, kCmdCopy, "tree");
    m_panel->putFile("/storage/user_dir/pasted/keep", {1});
    remote.setCurrentPath("/storage/user_dir/pasted");
    choose(remote, kCmdAreaPaste);
    ASSERT_TRUE(waitUntil([&] { return !local.isTransferring(); }, 60000));
    expectTreeOnPanel("/storage/user_dir/pasted");

    // Copied in the panel pane, pasted on a row of the PC pane.
    remote.setCurrentPath("/storage/user_dir/pasted");
    choose(remote, kCmdCopy, "tree");
    EXPECT_FALSE(local.isCopied());
    ASSERT_TRUE(QDir(m_pc.path()).mkpath("fromPanel/marker"));
    local.navigateTo(m_pc.filePath("fromPanel"));
    choose(local, kCmdPaste, "marker");
    ASSERT_TRUE(waitUntil([&] { return !remote.isTransferring(); }, 60000));
    expectTreeOnPc(m_pc.filePath("fromPanel"));

    // Closed while a slow batch runs: the window goes without waiting for it.
    m_panel->setCallDelay("update2", std::chrono::milliseconds(30));
    ASSERT_TRUE(QDir(m_pc.path()).mkdir("again"));
    local.navigateTo(m_pc.filePath("again"));
    remote.setCurrentPath("/storage/user_dir");
    transport(remote, "tree");
    ASSERT_TRUE(waitUntil([&] { return m_panel->count("update2") >= 2; }, 30000));
    destroyDialog();
    waitUntil([] { return false; }, 200);
}

} // namespace
