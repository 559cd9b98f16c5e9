// The PC-side list in the main dialog: the commands on the PC's files.
#include "brellfin/ui/winshelllist.h"

#include "brellfin/ui/tests/lists/listsfixture.h"
#include "brellfin/winfile/winfile.h"

#include <map>
#include <unistd.h>

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
        select(local(), which);
        local().simulateClick(NM_RCLICK, rowOf(local(), which.first()), 0);
        local().OnCommand(kCmdCopy, 0);
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
    m_menuAnswer = [](const Mfc::MenuCall&) { return 0u; };
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
    m_menuAnswer = [](const Mfc::MenuCall&) { return 0u; };
    copyIn(pc("work"), {"tree"});
    pasteIn(pc("work/tree/in"));
    EXPECT_EQ(boxTexts(), QStringList({text(162)}));
    EXPECT_FALSE(QFileInfo::exists(pc("work/tree/in/tree")));
    pasteIn(pc("other"));
    EXPECT_EQ(readFile(pc("other/tree/in/x.txt")), "x");
}

TEST_F(LocalList, DeleteSparesWhatALinkNamesAndRemovesReadOnlyFiles)
{
    writeFile(pc("outside/keep.txt"), "keep");
    writeFile(pc("work/gone/locked.txt"), "r");
    QFile::setPermissions(pc("work/gone/locked.txt"), QFile::ReadOwner);
    ASSERT_EQ(::symlink(QFile::encodeName(pc("outside")).constData(), QFile::encodeName(pc("work/gone/link")).constData()), 0);
    showLocal(pc("work"));
    select(local(), {"gone"});
    local().simulateClick(NM_RCLICK, rowOf(local(), "gone"), 0);
    local().OnCommand(kCmdDelete, 0);
    EXPECT_FALSE(QFileInfo::exists(pc("work/gone")));
    EXPECT_EQ(readFile(pc("outside/keep.txt")), "keep");
    EXPECT_TRUE(logLines().join("\n").contains(pc("work/gone") + " " + text(115)));
}

TEST_F(LocalList, RenameNeverReplacesAndTrimsBlanks)
{
    writeFile(pc("work/a.txt"), "a");
    writeFile(pc("work/c.txt"), "c");
    showLocal(pc("work"));
    local().simulateClick(NM_CLICK, rowOf(local(), "a.txt"), 0);
    local().OnCommand(kCmdRename, 0);
    ASSERT_TRUE(local().isEditing());
    local().editor()->setText("c.txt");
    local().simulateClick(NM_CLICK, -1, -1);
    EXPECT_EQ(boxTexts(), QStringList({text(159)}));
    EXPECT_EQ(readFile(pc("work/a.txt")), "a");
    EXPECT_EQ(readFile(pc("work/c.txt")), "c");

    local().simulateClick(NM_CLICK, rowOf(local(), "a.txt"), 0);
    local().OnCommand(kCmdRename, 0);
    local().editor()->setText(" b.txt ");
    local().simulateClick(NM_CLICK, -1, -1);
    EXPECT_EQ(readFile(pc("work/b.txt")), "a");
    EXPECT_FALSE(QFileInfo::exists(pc("work/a.txt")));
}

TEST_F(LocalList, InComputerEveryFileCommandIsGrey)
{
    local().DisplayFolder(Mfc::ShellNamespace::computer());
    local().simulateClick(NM_RCLICK, -1, -1);
    m_menuAnswer = [](const Mfc::MenuCall&) { return 0u; };
    local().simulateClick(NM_RCLICK, -1, -1);
    ASSERT_FALSE(m_menus.empty());
    for (const auto& entry : m_menus.back().entries)
        if (entry.command != kCmdSelectAll && entry.command != kCmdRefresh) {
            EXPECT_FALSE(entry.enabled) << entry.text.toStdString();
        }
    local().simulateClick(NM_RCLICK, 0, 0);
    for (const auto& entry : m_menus.back().entries)
        EXPECT_FALSE(entry.enabled) << entry.text.toStdString();
}

TEST_F(LocalList, AShortcutToAFileIsSentUnderItsOwnName)
{
    writeFile(pc("target/real.bin"), "target bytes");
    ASSERT_EQ(::symlink(QFile::encodeName(pc("target/real.bin")).constData(),
                        QFile::encodeName(pc("work/Tool")).constData()),
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
    local().simulateClick(NM_CLICK, rowOf(local(), "Tool"), 0);
    local().OnCommand(kCmdRename, 0);
    ASSERT_TRUE(local().isEditing());
    local().editor()->setText("Tool2");
    local().simulateClick(NM_CLICK, -1, -1);
    EXPECT_TRUE(QFileInfo(pc("work/Tool2")).isSymLink());
    EXPECT_EQ(readFile(pc("target/real.bin")), "target bytes");
}

} // namespace
