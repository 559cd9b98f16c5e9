// The tool from its start with a panel address to transfers both ways, the
// fake file service on the panel's own port 127 of a loopback address; the
// window is closed while a batch runs.
#include "brellfin/ui/tests/dialog/dialogfixture.h"

#include "brellfin/ui/armfilelist.h"
#include "brellfin/ui/listconstants.h"
#include "brellfin/ui/winshelllist.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

namespace {

using namespace BrellfinLists;

constexpr const char* kPanelAddress = "127.120.0.1";

std::vector<uint8_t> pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 31 + seed);
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int rowOf(CListCtrl& list, const QString& name)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetItemText(row, 0) == name)
            return row;
    return -1;
}

void selectOnly(CListCtrl& list, const QString& name)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        list.SetItemState(row, list.GetItemText(row, 0) == name ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

class EndToEnd : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        ASSERT_TRUE(m_pc.isValid());
        m_panel = std::make_unique<Fake::FakeFileService>(kPanelAddress, 127);
        m_menuAnswer = [](const Mfc::MenuCall&) { return 0u; };
        m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    }
    void TearDown() override
    {
        destroyDialog();
        m_panel.reset();
        DialogFixture::TearDown();
    }
    void transport(CListCtrl& list, const QString& name)
    {
        selectOnly(list, name);
        list.simulateClick(NM_RCLICK, rowOf(list, name), 0);
        list.OnCommand(kCmdTransport, 0);
    }
    QTemporaryDir m_pc;
    std::unique_ptr<Fake::FakeFileService> m_panel;
};

TEST_F(EndToEnd, SendATreeFetchItBackAndCloseMidTransfer)
{
    const std::vector<std::pair<QString, size_t>> files = {
        {"tree/a.bin", 0}, {"tree/b.bin", 4096}, {"tree/in/c.bin", 10000}, {"tree/in/deep/d.bin", 70000}};
    for (size_t i = 0; i < files.size(); ++i) {
        QDir().mkpath(QFileInfo(m_pc.filePath(files[i].first)).absolutePath());
        QFile file(m_pc.filePath(files[i].first));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const std::vector<uint8_t> bytes = pattern(files[i].second, uint8_t(i));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    start({kPanelAddress});
    ASSERT_TRUE(dialog().fileService()->isConnected());
    ArmFileList& remote = *dialog().remoteList();
    WinShellList& local = *dialog().localList();

    remote.setCurrentPath("/storage/user_dir");
    local.navigateTo(m_pc.path());
    transport(local, "tree");
    ASSERT_TRUE(waitUntil([&] { return !local.isTransferring(); }, 30000));
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/" + files[i].first.toStdString()),
                  pattern(files[i].second, uint8_t(i)))
            << files[i].first.toStdString();

    // Fetched into another PC folder.
    ASSERT_TRUE(QDir(m_pc.path()).mkdir("back"));
    local.navigateTo(m_pc.filePath("back"));
    remote.setCurrentPath("/storage/user_dir");
    transport(remote, "tree");
    ASSERT_TRUE(waitUntil([&] { return !remote.isTransferring(); }, 30000));
    for (const auto& [path, size] : files)
        EXPECT_EQ(readFile(m_pc.filePath("back/" + path)), readFile(m_pc.filePath(path))) << path.toStdString();

    // Closed while a slow batch runs: the window goes without waiting for it.
    m_panel->setCallDelay("update2", std::chrono::milliseconds(30));
    ASSERT_TRUE(QDir(m_pc.path()).mkdir("again"));
    local.navigateTo(m_pc.filePath("again"));
    transport(remote, "tree");
    ASSERT_TRUE(waitUntil([&] { return m_panel->count("update2") >= 2; }, 30000));
    destroyDialog();
    waitUntil([] { return false; }, 200);
}

} // namespace
