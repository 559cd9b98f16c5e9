// The panel-side list in the main dialog: listing, sorting, navigation and
// the commands on the panel's files.
#include "brellfin/dialog/armfilelist.h"

#include "brellfin/dialog/tests/listsfixture.h"

#include <chrono>
#include <map>

using BrellfinUi::StringId;

namespace {

using namespace BrellfinLists;

class RemoteList : public ListsFixture {
protected:
    void SetUp() override
    {
        ListsFixture::SetUp();
        for (const char* folder : {"c", "a", "b"})
            m_panel->putFile(std::string("/storage/user_dir/d/") + folder + "/x", {1});
        for (const auto& [name, size] : std::vector<std::pair<std::string, size_t>>{
                 {"f0", 0}, {"f1", 1}, {"f1023", 1023}, {"f1024", 1024}, {"f5000", 5000}})
            m_panel->putFile("/storage/user_dir/d/" + name, std::vector<uint8_t>(size, 7));
    }
};

TEST_F(RemoteList, ListsParentFoldersAndFilesWithSizes)
{
    showRemote("/storage/user_dir/d");
    EXPECT_EQ(names(remote()), QStringList({"..", "a", "b", "c", "f0", "f1", "f1023", "f1024", "f5000"}));
    EXPECT_EQ(column(remote(), 1), QStringList({"", "", "", "", "0 KB", "1 KB", "1 KB", "2 KB", "5 KB"}));
    EXPECT_EQ(column(remote(), 2).mid(1, 4), QStringList({text(StringId::Folder), text(StringId::Folder),
                                                          text(StringId::Folder), text(StringId::File)}));
    showRemote("/storage/user_dir");
    EXPECT_EQ(rowOf(remote(), ".."), -1);
    showRemote("/media/usb1/a/b");
    EXPECT_EQ(remote().rootPathUtf8(), "/media/usb1");
    showRemote("/storage/user_dir/x");
    EXPECT_EQ(remote().rootPathUtf8(), "/storage/user_dir");
}

// A listing that gets no answer is a failed one: none of the folder is shown
// as its content, and the log says so in the window's language. A size that
// gets no answer is blank, never "0 KB". A folder that is empty on the panel
// shows its ".." alone, with nothing logged.
TEST_F(RemoteList, AListingOrSizeWithoutAnswerIsLoggedAndNeverShownAsTheFoldersContent)
{
    using namespace std::chrono_literals;
    struct Case {
        int language;
        const char* failed; // the log's line after its time
    };
    const Case cases[] = {{1033, "/d Remote folder cannot be displayed! Network error"},
                          {2052, "/d 无法显示远程文件夹! 网络错误"}};
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_panel->localPath("/storage/user_dir/empty").value())));
    dialog().fileService()->setCallTimeOut(400);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        setLanguage(c.language);
        const auto logged = [&] {
            int lines = 0;
            for (const QString& line : logLines())
                lines += line.endsWith("]    " + QString::fromUtf8(c.failed)) ? 1 : 0;
            return lines;
        };
        m_panel->setCallDelay("getFileSize", 20s);
        showRemote("/storage/user_dir/d");
        EXPECT_EQ(names(remote()), QStringList({"..", "a", "b", "c", "f0", "f1", "f1023", "f1024", "f5000"}));
        EXPECT_EQ(column(remote(), 1), QStringList({"", "", "", "", "", "", "", "", ""}));
        EXPECT_EQ(logged(), 0);
        m_panel->setCallDelay("getFileSize", 0ms);

        // Neither the rows shown before nor the folders answered now stay.
        m_panel->setCallDelay("searchFiles", 20s);
        showRemote("/storage/user_dir/d");
        EXPECT_EQ(names(remote()), QStringList({".."}));
        EXPECT_EQ(logged(), 1);
        m_panel->setCallDelay("searchFiles", 0ms);

        showRemote("/storage/user_dir/empty");
        EXPECT_EQ(names(remote()), QStringList({".."}));
        EXPECT_EQ(logged(), 1);
    }
}

TEST_F(RemoteList, HeaderClicksSortDescendingThenAscendingAndSurviveARefresh)
{
    showRemote("/storage/user_dir/d");
    remote().simulateClick(LVN_COLUMNCLICK, -1, 0);
    const QStringList descending = names(remote());
    EXPECT_EQ(descending.first(), "f5000");
    remote().simulateClick(LVN_COLUMNCLICK, -1, 0);
    const QStringList ascending = names(remote());
    EXPECT_EQ(ascending.first(), "..");
    EXPECT_EQ(ascending.last(), "f5000");
    remote().refreshList();
    EXPECT_EQ(names(remote()), ascending);
}

TEST_F(RemoteList, DoubleClickOpensAFolderAndGoesBackUp)
{
    showRemote("/storage/user_dir/d");
    remote().simulateClick(NM_DBLCLK, rowOf(remote(), "a"), 0);
    EXPECT_EQ(remote().currentPath(), "/storage/user_dir/d/a");
    EXPECT_EQ(names(remote()), QStringList({"..", "x"}));
    remote().simulateClick(NM_DBLCLK, rowOf(remote(), ".."), 0);
    EXPECT_EQ(remote().currentPath(), "/storage/user_dir/d");
}

TEST_F(RemoteList, ARowsKindComesFromTheListingNotFromItsTypeText)
{
    // A folder whose type cell shows the word for a file opens as a folder.
    showRemote("/storage/user_dir/d");
    remote().SetItemText(rowOf(remote(), "a"), 2, text(StringId::File));
    remote().simulateClick(NM_DBLCLK, rowOf(remote(), "a"), 0);
    EXPECT_EQ(remote().currentPath(), "/storage/user_dir/d/a");

    // A file whose type cell shows the word for a folder is not opened as a
    // folder by a double click, and its delete asks about a file.
    showRemote("/storage/user_dir/d");
    remote().SetItemText(rowOf(remote(), "f1"), 2, text(StringId::Folder));
    remote().simulateClick(NM_DBLCLK, rowOf(remote(), "f1"), 0);
    EXPECT_EQ(remote().currentPath(), "/storage/user_dir/d");
    ASSERT_NE(rowOf(remote(), "f1"), -1);
    commandOn(remote(), "f1", kCmdDelete);
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes.back().caption, text(StringId::SureToDelete) + ' ' + text(StringId::File));
}

TEST_F(RemoteList, NewFolderTakesTheFirstFreeNumber)
{
    m_panel->putFile("/storage/user_dir/n/New folder/x", {1});
    m_panel->putFile("/storage/user_dir/n/New folder(1)/x", {1});
    showRemote("/storage/user_dir/n");
    remote().OnCommand(kCmdNewFolder, 0);
    EXPECT_TRUE(m_panel->exists("/storage/user_dir/n/New folder(2)"));
    EXPECT_TRUE(remote().rename().isEditing());
    EXPECT_EQ(remote().GetItemText(remote().rename().item(), 0), "New folder(2)");

    m_panel->clearLog();
    showRemote("/media/usb0");
    // This time through the "new" popup nested in the area menu.
    m_menuAnswer = [](const Mfc::MenuCall& call) {
        return !call.entries.empty() && !call.entries.back().popup.empty() ? call.entries.back().popup[0].command : 0u;
    };
    remote().simulateClick(NM_RCLICK, -1, -1);
    EXPECT_EQ(calls("createUDiskFolder"), std::vector<std::string>({"createUDiskFolder /media/usb0/New folder"}));
}

TEST_F(RemoteList, RenameRefusesAnExistingNameAndIgnoresACaseChange)
{
    m_panel->putFile("/storage/user_dir/r/a.txt", {1});
    m_panel->putFile("/storage/user_dir/r/b.txt", {2});
    showRemote("/storage/user_dir/r");
    const int row = rowOf(remote(), "a.txt");
    remote().simulateClick(NM_CLICK, row, 0);
    remote().OnCommand(kCmdRename, 0);
    ASSERT_TRUE(remote().rename().isEditing());
    remote().rename().editor()->setText("b.txt");
    m_panel->clearLog();
    remote().simulateClick(NM_CLICK, -1, -1);
    EXPECT_FALSE(remote().rename().isEditing());
    EXPECT_EQ(boxTexts(), QStringList({text(StringId::RenameTargetExists)}));
    EXPECT_EQ(m_panel->count("renameFile"), 0u);
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/r/b.txt"), std::vector<uint8_t>({2}));

    ASSERT_NO_FATAL_FAILURE(renameTo(remote(), "a.txt", "A.TXT"));
    EXPECT_EQ(m_panel->count("renameFile"), 0u);
    EXPECT_EQ(m_panel->count("hasFileOrFolder"), 1u);

    // The row shows the typed text; a name holding "/" is a failed rename, never sent.
    ASSERT_NO_FATAL_FAILURE(renameTo(remote(), "A.TXT", "../../x"));
    EXPECT_EQ(m_panel->count("renameFile"), 0u);
    EXPECT_TRUE(logLines().join("\n").contains(text(StringId::RenameFailed)));
}

class UncheckedName : public RemoteList, public ::testing::WithParamInterface<CheckFault> {};

TEST_P(UncheckedName, ARenameIsNotSentAndTheLogAndABoxSayWhy)
{
    m_panel->putFile("/storage/user_dir/r/a.txt", {1});
    m_panel->putFile("/storage/user_dir/r/b.txt", {2});
    showRemote("/storage/user_dir/r");
    failExistenceChecks(GetParam());
    m_panel->clearLog();
    ASSERT_NO_FATAL_FAILURE(renameTo(remote(), "a.txt", "b.txt"));
    EXPECT_FALSE(remote().rename().isEditing());
    EXPECT_EQ(m_panel->count("renameFile"), 0u);
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/r/a.txt"), std::vector<uint8_t>({1}));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/r/b.txt"), std::vector<uint8_t>({2}));
    EXPECT_GE(rowOf(remote(), "a.txt"), 0);
    const QString why = "/r/b.txt " + text(StringId::ExistenceCheckFailed);
    EXPECT_EQ(boxTexts(), QStringList({why}));
    EXPECT_EQ(logLines().filter(why).size(), 1);
    EXPECT_TRUE(logLines().filter(text(StringId::RenamedTo)).isEmpty());
}

TEST_P(UncheckedName, ANewFolderIsNotMadeAndTheLogAndABoxSayWhy)
{
    m_panel->putFile("/storage/user_dir/n/New folder/x", {1});
    showRemote("/storage/user_dir/n");
    failExistenceChecks(GetParam());
    m_panel->clearLog();
    remote().OnCommand(kCmdNewFolder, 0);
    EXPECT_EQ(m_panel->count("createFolder"), 0u);
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/n/New folder(1)"));
    EXPECT_FALSE(remote().rename().isEditing());
    const QString why = "/n/New folder " + text(StringId::ExistenceCheckFailed);
    EXPECT_EQ(boxTexts(), QStringList({why}));
    EXPECT_EQ(logLines().filter(why).size(), 1);
    EXPECT_TRUE(logLines().filter(text(StringId::CreatedSuccessfully)).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Faults, UncheckedName, kCheckFaults, checkFaultName);

TEST_F(RemoteList, DeleteGoesDepthFirstAndReportsARefusal)
{
    m_panel->putFile("/storage/user_dir/t/f.txt", {1});
    m_panel->putFile("/storage/user_dir/t/a/g.txt", {2});
    showRemote("/storage/user_dir");
    commandOn(remote(), "t", kCmdDelete);
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/t"));
    EXPECT_EQ(calls("removeFileOrFolder"),
              std::vector<std::string>(
                  {"removeFileOrFolder /storage/user_dir/t/f.txt", "removeFileOrFolder /storage/user_dir/t/a/g.txt",
                   "removeFileOrFolder /storage/user_dir/t/a", "removeFileOrFolder /storage/user_dir/t"}));
    EXPECT_TRUE(logLines().join("\n").contains("/t " + text(StringId::DeletedSuccessfully)));

    // A name the panel lists but cannot remove is reported as a failure.
    m_panel->setSearchNames(std::vector<std::string>{"ghost.txt"}, std::vector<std::string>{});
    showRemote("/storage/user_dir");
    commandOn(remote(), "ghost.txt", kCmdDelete);
    m_panel->setSearchNames(std::nullopt, std::nullopt);
    EXPECT_TRUE(logLines().join("\n").contains("/ghost.txt " + text(StringId::DeletedFailed)));
}

TEST_F(RemoteList, AnEndlessPanelTreeEndsTheDelete)
{
    m_panel->putFile("/storage/user_dir/loop/x", {1});
    showRemote("/storage/user_dir");
    select(remote(), {"loop"});
    remote().simulateClick(NM_RCLICK, rowOf(remote(), "loop"), 0);
    m_panel->setEndlessFolders(true);
    remote().OnCommand(kCmdDelete, 0);
    m_panel->setEndlessFolders(false);
    EXPECT_TRUE(logLines().join("\n").contains(text(StringId::DeletedFailed)));
}

TEST_F(RemoteList, MenusGreyWhatCannotRun)
{
    m_panel->putFile("/storage/user_dir/m/a.txt", {1});
    m_panel->putFile("/storage/user_dir/m/b.txt", {1});
    showRemote("/storage/user_dir/m");
    remote().simulateClick(NM_RCLICK, rowOf(remote(), ".."), 0);
    EXPECT_TRUE(m_menus.empty());
    select(remote(), {"a.txt", "b.txt"});
    remote().simulateClick(NM_RCLICK, rowOf(remote(), "a.txt"), 0);
    ASSERT_EQ(m_menus.size(), 1u);
    std::map<UINT, bool> enabled;
    for (const auto& entry : m_menus[0].entries)
        enabled[entry.command] = entry.enabled;
    EXPECT_TRUE(enabled[kCmdTransport]);
    EXPECT_TRUE(enabled[kCmdCopy]);
    EXPECT_FALSE(enabled[kCmdRename]);
    EXPECT_FALSE(enabled[kCmdPaste]);
    remote().simulateClick(NM_RCLICK, -1, -1);
    ASSERT_EQ(m_menus.size(), 2u);
    ASSERT_NE(m_menus[1].find(kCmdAreaPaste), nullptr);
    EXPECT_FALSE(m_menus[1].find(kCmdAreaPaste)->enabled);
    ASSERT_NE(m_menus[1].find(kCmdNewFolder), nullptr);
    EXPECT_TRUE(m_menus[1].find(kCmdNewFolder)->enabled);
    EXPECT_TRUE(m_menus[1].find(kCmdNewFile)->enabled);
}

TEST_F(RemoteList, AThousandEqualNamesSortAndKeepTheirOrder)
{
    std::vector<std::string> same(1000, "same");
    m_panel->setSearchNames(same, std::vector<std::string>{});
    showRemote("/storage/user_dir");
    ASSERT_EQ(remote().GetItemCount(), 1000);
    remote().simulateClick(LVN_COLUMNCLICK, -1, 0);
    remote().simulateClick(LVN_COLUMNCLICK, -1, 0);
    for (int row = 0; row < remote().GetItemCount(); ++row)
        ASSERT_EQ(remote().GetItemData(row), DWORD_PTR(row));
    m_panel->setSearchNames(std::nullopt, std::nullopt);
}

TEST_F(RemoteList, WhileANameIsEditedOnlyEnterActs)
{
    m_panel->putFile("/storage/user_dir/e/a.txt", {1});
    showRemote("/storage/user_dir/e");
    remote().simulateClick(NM_CLICK, rowOf(remote(), "a.txt"), 0);
    remote().OnCommand(kCmdRename, 0);
    ASSERT_TRUE(remote().rename().isEditing());
    MSG del{remote().rename().editor(), WM_KEYDOWN, VK_DELETE, 0};
    remote().PreTranslateMessage(&del);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_panel->exists("/storage/user_dir/e/a.txt"));
    remote().rename().editor()->setText("b.txt");
    MSG enter{remote().rename().editor(), WM_KEYDOWN, VK_RETURN, 0};
    EXPECT_TRUE(remote().PreTranslateMessage(&enter));
    EXPECT_FALSE(remote().rename().isEditing());
    EXPECT_TRUE(m_panel->exists("/storage/user_dir/e/b.txt"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/e/a.txt"));
}

TEST_F(RemoteList, AStartThatFailsUnlocksTheList)
{
    m_panel->putFile("/storage/user_dir/s.bin", {1});
    showLocal(pc());
    showRemote("/storage/user_dir");
    select(remote(), {"s.bin"});
    remote().simulateClick(NM_RCLICK, rowOf(remote(), "s.bin"), 0);
    dialog().fileService()->disconnect();
    remote().OnCommand(kCmdTransport, 0);
    EXPECT_FALSE(remote().isTransferring());
    EXPECT_TRUE(logLines().join("\n").contains(text(StringId::UploadFailedReason) + text(StringId::NetworkError)));
}

} // namespace
