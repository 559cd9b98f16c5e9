// The shell namespace and its list over a temporary tree: the virtual
// Desktop and Computer, folders first, hidden entries, links as shortcuts.
#include "brellfin/mfc/shellnamespace.h"

#include "brellfin/mfc/shelllistctrl.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <unistd.h>

namespace {

class ShellTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/twbf-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = QString::fromLocal8Bit(pattern);
        m_oldHome = qgetenv("HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QString home = m_root + "/home";
        QDir().mkpath(home + "/Desktop/afolder");
        QDir().mkpath(home + "/Desktop/Zfolder");
        touch(home + "/Desktop/b.txt");
        touch(home + "/Desktop/.hidden");
        QFile::link(home + "/Desktop/afolder", home + "/Desktop/link");
        QDir().mkpath(m_root + "/work/inner");
        qputenv("HOME", home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (m_root + "/config").toLocal8Bit());
        Mfc::ShellNamespace::setTextProvider(nullptr);
    }
    void TearDown() override
    {
        qputenv("HOME", m_oldHome);
        if (m_oldConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
        Mfc::ShellNamespace::setTextProvider(nullptr);
        QDir(m_root).removeRecursively();
    }
    static void touch(const QString& path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    QString m_root;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
};

QStringList names(const CMFCShellListCtrl& list)
{
    QStringList out;
    for (int r = 0; r < list.GetItemCount(); ++r)
        out << list.GetItemText(r, 0);
    return out;
}

TEST_F(ShellTree, DesktopShowsComputerHomeThenFoldersFirstAndHiddenEntries)
{
    EXPECT_EQ(Mfc::ShellNamespace::desktopPath(), m_root + "/home/Desktop");
    CMFCShellListCtrl list;
    ASSERT_EQ(list.DisplayFolder(Mfc::ShellNamespace::desktop()), S_OK);
    EXPECT_EQ(names(list), (QStringList{"Computer", "home", "afolder", "Zfolder", ".hidden", "b.txt", "link"}));
    CString name;
    list.GetCurrentFolderName(name);
    EXPECT_EQ(name, "Desktop");
    CString path;
    EXPECT_FALSE(list.GetItemPath(path, 0));
    EXPECT_TRUE(path.isEmpty());
    EXPECT_TRUE(list.GetItemPath(path, 1));
    EXPECT_EQ(path, m_root + "/home");
    EXPECT_TRUE(list.GetItemPath(path, 5));
    EXPECT_EQ(path, m_root + "/home/Desktop/b.txt");
}

TEST_F(ShellTree, LinksAreShortcutsInTheLanguageOfTheTexts)
{
    CMFCShellListCtrl list;
    list.DisplayFolder(Mfc::ShellNamespace::desktop());
    const int row = names(list).indexOf("link");
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.GetItemText(row, 2), "Shortcut");
    EXPECT_EQ(Mfc::ShellNamespace::resolveShortcut(m_root + "/home/Desktop/link"), m_root + "/home/Desktop/afolder");
    EXPECT_TRUE(Mfc::ShellNamespace::resolveShortcut(m_root + "/home/Desktop/b.txt").isEmpty());

    Mfc::ShellNamespace::setTextProvider([](int id) { return id == 210 ? QStringLiteral("快捷方式") : QString(); });
    list.Refresh();
    EXPECT_EQ(list.GetItemText(names(list).indexOf("link"), 2), QStringLiteral("快捷方式"));
    EXPECT_EQ(list.GetItemText(names(list).indexOf("afolder"), 2), "File folder");
}

TEST_F(ShellTree, DesktopToComputerToRootToAFolderAndBackUpThenFail)
{
    CMFCShellListCtrl list;
    list.DisplayFolder(Mfc::ShellNamespace::desktop());
    const Mfc::ShellEntry* computer = list.entryAt(0);
    ASSERT_NE(computer, nullptr);
    ASSERT_TRUE(computer->location);
    ASSERT_EQ(list.DisplayFolder(*computer->location), S_OK);
    CString path;
    EXPECT_FALSE(list.GetCurrentFolder(path));
    EXPECT_TRUE(path.isEmpty());
    CString name;
    list.GetCurrentFolderName(name);
    EXPECT_EQ(name, "Computer");
    ASSERT_FALSE(names(list).isEmpty());
    EXPECT_EQ(names(list).first(), "/");

    ASSERT_EQ(list.DisplayFolder(*list.entryAt(0)->location), S_OK);
    EXPECT_TRUE(list.GetCurrentFolder(path));
    EXPECT_EQ(path, "/");
    ASSERT_EQ(list.DisplayFolder(m_root + "/work/inner"), S_OK);
    EXPECT_TRUE(list.GetCurrentFolder(path));
    EXPECT_EQ(path, m_root + "/work/inner");
    ASSERT_EQ(list.DisplayParentFolder(), S_OK);
    EXPECT_TRUE(list.GetCurrentFolder(path));
    EXPECT_EQ(path, m_root + "/work");
    EXPECT_EQ(names(list), QStringList{"inner"});

    int steps = 0;
    while (list.currentLocation().kind != Mfc::ShellLocation::Kind::Computer && steps++ < 64)
        ASSERT_EQ(list.DisplayParentFolder(), S_OK);
    ASSERT_EQ(list.currentLocation().kind, Mfc::ShellLocation::Kind::Computer);
    ASSERT_EQ(list.DisplayParentFolder(), S_OK);
    EXPECT_EQ(list.currentLocation().kind, Mfc::ShellLocation::Kind::Desktop);
    EXPECT_EQ(list.DisplayParentFolder(), E_FAIL);
    EXPECT_EQ(list.currentLocation().kind, Mfc::ShellLocation::Kind::Desktop);
    EXPECT_EQ(list.DisplayFolder(m_root + "/missing"), E_FAIL);
}

} // namespace
