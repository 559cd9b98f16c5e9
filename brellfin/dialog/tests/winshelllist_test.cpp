// The PC-side list in the main dialog: the commands on the PC's files.
#include "brellfin/dialog/winshelllist.h"

#include "brellfin/dialog/tests/listsfixture.h"
#include "brellfin/dialog/transinfotab.h"
#include "brellfin/winfile/winfile.h"

#include <map>
#include <unistd.h>

using BrellfinUi::StringId;

namespace {

using namespace BrellfinLists;

class LocalList : public ListsFixture {
protected:
    void SetUp() override
    {
        ListsFixture::SetUp();
        QDir().mkpath(pc("work"));
        QDir().mkpath(pc("other"));
    }
    void copyIn(const QString& folder, const QStringList& which)
    {
        showLocal(folder);
        commandOn(local(), which, kCmdCopy);
    }
    void pasteIn(const QString& folder)
    {
        showLocal(folder);
        local().simulateClick(NM_RCLICK, -1, -1);
        local().OnCommand(kCmdAreaPaste, 0);
    }
};

TEST_F(LocalList, PasteNumbersCopiesAndKeepsTheBytes)
{
    writeFile(pc("other/a.txt"), "alpha");
    writeFile(pc("work/a.txt"), "old");
    writeFile(pc("work/a-Copy(1).txt"), "old1");
    writeFile(pc("other/notes"), "n");
    writeFile(pc("work/notes"), "n0");
    copyIn(pc("other"), {"a.txt", "notes"});
    pasteIn(pc("work"));
    EXPECT_EQ(readFile(pc("work/a-Copy(2).txt")), "alpha");
    EXPECT_EQ(readFile(pc("work/notes-Copy(1)")), "n");
    EXPECT_EQ(readFile(pc("work/a.txt")), "old");
    // Pasted where the names are free, they stay.
    QDir().mkpath(pc("empty"));
    pasteIn(pc("empty"));
    EXPECT_EQ(readFile(pc("empty/a.txt")), "alpha");
}

TEST_F(LocalList, PastingAFolderIntoItselfIsRefused)
{
    writeFile(pc("work/tree/in/x.txt"), "x");
    copyIn(pc("work"), {"tree"});
    pasteIn(pc("work/tree/in"));
    EXPECT_EQ(boxTexts(), QStringList({text(StringId::FolderPasteFailed)}));
    EXPECT_FALSE(QFileInfo::exists(pc("work/tree/in/tree")));
    pasteIn(pc("other"));
    EXPECT_EQ(readFile(pc("other/tree/in/x.txt")), "x");
}

TEST_F(LocalList, DeleteSparesWhatALinkNamesAndRemovesReadOnlyFiles)
{
    writeFile(pc("outside/keep.txt"), "keep");
    writeFile(pc("work/gone/locked.txt"), "r");
    QFile::setPermissions(pc("work/gone/locked.txt"), QFile::ReadOwner);
    ASSERT_EQ(
        ::symlink(QFile::encodeName(pc("outside")).constData(), QFile::encodeName(pc("work/gone/link")).constData()),
        0);
    showLocal(pc("work"));
    commandOn(local(), "gone", kCmdDelete);
    EXPECT_FALSE(QFileInfo::exists(pc("work/gone")));
    EXPECT_EQ(readFile(pc("outside/keep.txt")), "keep");
    EXPECT_TRUE(logLines().join("\n").contains(pc("work/gone") + " " + text(StringId::DeletedSuccessfully)));
}

TEST_F(LocalList, RenameNeverReplacesAndTrimsBlanks)
{
    writeFile(pc("work/a.txt"), "a");
    writeFile(pc("work/c.txt"), "c");
    showLocal(pc("work"));
    ASSERT_NO_FATAL_FAILURE(renameTo(local(), "a.txt", "c.txt"));
    EXPECT_EQ(boxTexts(), QStringList({text(StringId::RenameTargetExists)}));
    EXPECT_EQ(readFile(pc("work/a.txt")), "a");
    EXPECT_EQ(readFile(pc("work/c.txt")), "c");

    ASSERT_NO_FATAL_FAILURE(renameTo(local(), "a.txt", " b.txt "));
    EXPECT_EQ(readFile(pc("work/b.txt")), "a");
    EXPECT_FALSE(QFileInfo::exists(pc("work/a.txt")));
}

TEST_F(LocalList, InComputerEveryFileCommandIsGrey)
{
    local().DisplayFolder(Mfc::ShellNamespace::computer());
    local().simulateClick(NM_RCLICK, -1, -1);
    ASSERT_FALSE(m_menus.empty());
    const auto& area = m_menus.back();
    for (UINT command : {kCmdAreaPaste, kCmdNewFolder, kCmdNewFile}) {
        ASSERT_NE(area.find(command), nullptr) << command;
        EXPECT_FALSE(area.find(command)->enabled) << command;
    }
    EXPECT_TRUE(area.find(kCmdSelectAll)->enabled);
    local().simulateClick(NM_RCLICK, 0, 0);
    for (const auto& entry : m_menus.back().entries)
        EXPECT_FALSE(entry.enabled) << entry.text.toStdString();
}

TEST_F(LocalList, NewFromTheNestedPopupOfTheAreaMenuMakesAFolderAndAFile)
{
    showLocal(pc("work"));
    UINT wanted = kCmdNewFolder;
    m_menuAnswer = [&wanted](const Mfc::MenuCall& call) {
        // The two commands live only in the "new" popup, the menu's last entry.
        if (call.entries.empty() || call.entries.back().popup.size() != 2)
            return 0u;
        for (const auto& entry : call.entries)
            if (entry.command == kCmdNewFolder || entry.command == kCmdNewFile)
                return 0u;
        const auto* chosen = call.find(wanted);
        return chosen && chosen->enabled ? wanted : 0u;
    };
    local().simulateClick(NM_RCLICK, -1, -1);
    EXPECT_TRUE(QFileInfo(pc("work/New folder")).isDir());
    wanted = kCmdNewFile;
    local().simulateClick(NM_RCLICK, -1, -1);
    EXPECT_TRUE(QFileInfo(pc("work/New File")).isFile());
    EXPECT_EQ(m_menus.size(), 2u);
}

TEST_F(LocalList, AShortcutToAFileIsSentUnderItsOwnName)
{
    writeFile(pc("target/real.bin"), "target bytes");
    ASSERT_EQ(
        ::symlink(QFile::encodeName(pc("target/real.bin")).constData(), QFile::encodeName(pc("work/Tool")).constData()),
        0);
    showRemote("/storage/user_dir");
    showLocal(pc("work"));
    const int row = rowOf(local(), "Tool");
    ASSERT_GE(row, 0);
    local().simulateClick(NM_DBLCLK, row, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/Tool"), bytesOf("target bytes"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/real.bin"));

    // Renamed, it stays a link with no ".lnk" added.
    ASSERT_NO_FATAL_FAILURE(renameTo(local(), "Tool", "Tool2"));
    EXPECT_TRUE(QFileInfo(pc("work/Tool2")).isSymLink());
    EXPECT_EQ(readFile(pc("target/real.bin")), "target bytes");
}

class UncheckedTarget : public LocalList, public ::testing::WithParamInterface<CheckFault> {};

TEST_P(UncheckedTarget, AnUploadOverAnExistingNameSendsNothingAndTheRowAndTheLogSayWhy)
{
    m_panel->putFile("/storage/user_dir/up/a.txt", bytesOf("theirs"));
    writeFile(pc("work/a.txt"), "mine");
    writeFile(pc("work/b.txt"), "more");
    showRemote("/storage/user_dir/up");
    showLocal(pc("work"));
    failExistenceChecks(GetParam());
    m_panel->clearLog();
    commandOn(local(), {"a.txt", "b.txt"}, kCmdTransport);
    EXPECT_FALSE(local().isTransferring());
    // Neither the file whose check failed nor the one after it.
    waitUntil([] { return false; }, 300);
    for (const char* method : {"createDownloader2", "startDownload2", "download2", "createFolder"})
        EXPECT_EQ(m_panel->count(method), 0u) << method;
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/up/a.txt"), bytesOf("theirs"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/up/b.txt"));
    EXPECT_TRUE(m_boxes.empty()); // no question about a file the panel could not be asked about

    CListCtrl& queue = dialog().transInfoTab()->listPage().list();
    ASSERT_EQ(queue.GetItemCount(), 1);
    EXPECT_EQ(queue.GetItemText(0, 0), "a.txt");
    EXPECT_EQ(queue.GetItemText(0, 1), text(StringId::StateUnchecked));
    EXPECT_EQ(logLines().filter("/up/a.txt " + text(StringId::ExistenceCheckFailed)).size(), 1);

    // Deleting the row starts nothing either.
    local().removeTransfers({0});
    EXPECT_FALSE(local().isTransferring());
    EXPECT_EQ(queue.GetItemCount(), 0);
    EXPECT_EQ(m_panel->count("createDownloader2"), 0u);
    EXPECT_TRUE(logLines().filter(text(StringId::DownloadCancelled)).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Faults, UncheckedTarget, kCheckFaults, checkFaultName);

// The shell list's columns made for a given client width.
class ColumnProbe : public WinShellList {
public:
    using WinShellList::OnSetColumns;
    using WinShellList::WinShellList;
};

TEST_F(LocalList, ColumnsShareTheClientWidthFiveTwoTwoThreeTwelfths)
{
    ColumnProbe probe(&dialog());
    for (const auto& [width, expected] :
         std::vector<std::pair<int, std::vector<int>>>{{1200, {500, 200, 200, 300}}, {1210, {504, 201, 201, 302}}}) {
        // The client area: the list within its frame.
        probe.resize(width + 2 * probe.frameWidth(), 100);
        probe.OnSetColumns();
        ASSERT_EQ(probe.GetColumnCount(), 4) << width;
        std::vector<int> widths;
        for (int c = 0; c < 4; ++c)
            widths.push_back(probe.GetColumnWidth(c));
        EXPECT_EQ(widths, expected) << width;
    }
    QStringList titles;
    for (int c = 0; c < 4; ++c)
        titles << probe.headerItem()->text(c);
    EXPECT_EQ(titles, QStringList({text(StringId::ListColumnName), text(StringId::ListColumnSize),
                                   text(StringId::ListColumnType), text(StringId::ListColumnModified)}));
    EXPECT_EQ(probe.headerItem()->textAlignment(1) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
    EXPECT_EQ(probe.headerItem()->textAlignment(0) & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));
}

TEST_F(LocalList, ChineseNamesAreShownSortedRenamedSentAndFetchedIntact)
{
    const QString folder = QString::fromUtf8("中文目录");
    writeFile(pc(folder + QString::fromUtf8("/文件.txt")), "wen");
    writeFile(pc(folder + QString::fromUtf8("/中文.txt")), "zhong");
    writeFile(pc(folder + "/b.txt"), "b");
    QDir().mkpath(pc(folder + QString::fromUtf8("/子目录")));
    showLocal(pc(folder));
    // Folders first, then files by name: ASCII before both ideographs (U+4E2D before U+6587).
    EXPECT_EQ(names(local()), QString::fromUtf8("子目录|b.txt|中文.txt|文件.txt").split('|'));
    CString path;
    ASSERT_TRUE(local().GetItemPath(path, rowOf(local(), QString::fromUtf8("中文.txt"))));
    EXPECT_EQ(path, pc(folder + QString::fromUtf8("/中文.txt")));

    // Renamed in place to another Chinese name: the bytes stay, the old name goes.
    ASSERT_NO_FATAL_FAILURE(renameTo(local(), QString::fromUtf8("中文.txt"), QString::fromUtf8("新名字（1）.txt")));
    EXPECT_EQ(readFile(pc(folder + QString::fromUtf8("/新名字（1）.txt"))), "zhong");
    EXPECT_FALSE(QFileInfo::exists(pc(folder + QString::fromUtf8("/中文.txt"))));
    EXPECT_GE(rowOf(local(), QString::fromUtf8("新名字（1）.txt")), 0);
    EXPECT_TRUE(boxTexts().isEmpty());

    // Sent to the panel under the same UTF-8 name.
    m_panel->putFile("/storage/user_dir/zh/keep", {0});
    showRemote("/storage/user_dir/zh");
    commandOn(local(), QString::fromUtf8("新名字（1）.txt"), kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/zh/新名字（1）.txt"), bytesOf("zhong"));

    // Fetched from the panel into the Chinese folder.
    std::vector<uint8_t> fetched(9000);
    for (size_t i = 0; i < fetched.size(); ++i)
        fetched[i] = uint8_t(i * 7);
    m_panel->putFile("/storage/user_dir/zh/远程文件.bin", fetched);
    showRemote("/storage/user_dir/zh");
    commandOn(remote(), QString::fromUtf8("远程文件.bin"), kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(bytesOf(readFile(pc(folder + QString::fromUtf8("/远程文件.bin")))), fetched);
    local().Refresh();
    EXPECT_GE(rowOf(local(), QString::fromUtf8("远程文件.bin")), 0);
}

TEST_F(LocalList, ATargetAppearingAfterTheCheckIsNeitherReplacedNorLost)
{
    writeFile(pc("work/a.txt"), "mine");
    showLocal(pc("work"));
    struct Unhook {
        ~Unhook() { setBeforeRenameForTesting({}); }
    } unhook;
    int raced = 0;
    // Another program makes the target once the list has found the name free.
    setBeforeRenameForTesting([&](const QString&, const QString& newPath) {
        ++raced;
        QFile other(newPath);
        if (other.open(QIODevice::NewOnly))
            other.write("theirs");
    });
    ASSERT_NO_FATAL_FAILURE(renameTo(local(), "a.txt", "b.txt"));
    EXPECT_EQ(raced, 1);
    EXPECT_FALSE(local().rename().isEditing());
    EXPECT_EQ(boxTexts(), QStringList({text(StringId::RenameTargetExists)}));
    EXPECT_EQ(m_boxes.back().type, UINT(MB_ICONEXCLAMATION));
    EXPECT_EQ(readFile(pc("work/a.txt")), "mine");
    EXPECT_EQ(readFile(pc("work/b.txt")), "theirs");
    EXPECT_TRUE(logLines().filter(text(StringId::RenamedTo)).isEmpty());
    EXPECT_TRUE(logLines().filter(text(StringId::RenameFailed)).isEmpty());
}

} // namespace
