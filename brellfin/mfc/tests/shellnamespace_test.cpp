// The shell namespace and its list over a temporary tree: the virtual
// Desktop and Computer, folders first, hidden entries, links as shortcuts.
#include "brellfin/mfc/shellnamespace.h"

#include "brellfin/mfc/mfcshelllistctrl.h"
#include "brellfin/mfc/shellicons.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

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
        Mfc::ShellNamespace::setLanguageProvider(nullptr);
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

    Mfc::ShellNamespace::setTextProvider([](Mfc::ShellText which) {
        return which == Mfc::ShellText::Shortcut ? QStringLiteral("快捷方式") : QString();
    });
    list.Refresh();
    EXPECT_EQ(list.GetItemText(names(list).indexOf("link"), 2), QStringLiteral("快捷方式"));
    EXPECT_EQ(list.GetItemText(names(list).indexOf("afolder"), 2), "File folder");
}

TEST_F(ShellTree, TheShellsOwnNamesSpeakTheLanguageGiven)
{
    const auto types = [](CMFCShellListCtrl& list) {
        QStringList out;
        for (int r = 0; r < list.GetItemCount(); ++r)
            out << list.GetItemText(r, 0) + "=" + list.GetItemText(r, 2);
        return out;
    };
    touch(m_root + "/home/Desktop/plain");
    CMFCShellListCtrl list;
    list.DisplayFolder(Mfc::ShellNamespace::desktop());
    EXPECT_EQ(types(list).mid(0, 3),
              (QStringList{"Computer=System Folder", "home=System Folder", "afolder=File folder"}));
    EXPECT_TRUE(types(list).contains("b.txt=TXT File"));
    EXPECT_TRUE(types(list).contains("plain=File"));

    Mfc::ShellNamespace::setLanguageProvider([] { return Mfc::ShellLanguage::Chinese; });
    list.Refresh();
    EXPECT_EQ(types(list).mid(0, 3),
              (QStringList{QString::fromUtf8("计算机=系统文件夹"), QString::fromUtf8("home=系统文件夹"),
                           QString::fromUtf8("afolder=文件夹")}));
    EXPECT_TRUE(types(list).contains(QString::fromUtf8("b.txt=TXT 文件")));
    EXPECT_TRUE(types(list).contains(QString::fromUtf8("plain=文件")));
    ASSERT_EQ(list.DisplayFolder(Mfc::ShellNamespace::computer()), S_OK);
    CString name;
    list.GetCurrentFolderName(name);
    EXPECT_EQ(name, QString::fromUtf8("计算机"));
    ASSERT_GT(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetItemText(0, 2), QString::fromUtf8("本地磁盘"));
}

TEST_F(ShellTree, EveryRowShowsTheIconOfItsKindAndFilesTheirType)
{
    const QString desktop = m_root + "/home/Desktop";
    for (const char* name : {"c.txt", "p.png", "s.mp3", "v.mp4", "z.zip", "d.pdf", "plain"})
        touch(desktop + "/" + name);
    CMFCShellListCtrl list;
    list.DisplayFolder(Mfc::ShellNamespace::desktop());
    const auto image = [&](const QString& name) {
        const int row = names(list).indexOf(name);
        return row < 0 ? -2 : list.GetItemImage(row);
    };
    for (int r = 0; r < list.GetItemCount(); ++r) {
        EXPECT_GE(list.GetItemImage(r), 0) << list.GetItemText(r, 0).toStdString();
        EXPECT_FALSE(list.topLevelItem(r)->icon(0).isNull()) << list.GetItemText(r, 0).toStdString();
    }
    // One icon per kind: the folders share theirs, files of one type theirs.
    EXPECT_EQ(image("afolder"), image("Zfolder"));
    EXPECT_EQ(image("b.txt"), image("c.txt"));
    QSet<int> distinct;
    for (const char* name :
         {"Computer", "home", "afolder", "link", "b.txt", "p.png", "s.mp3", "v.mp4", "z.zip", "d.pdf", "plain"})
        distinct.insert(image(name));
    EXPECT_EQ(distinct.size(), 11);

    // The drives.
    ASSERT_EQ(list.DisplayFolder(Mfc::ShellNamespace::computer()), S_OK);
    ASSERT_GT(list.GetItemCount(), 0);
    EXPECT_FALSE(list.topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(Mfc::ShellIcons::keyOf(*list.entryAt(0)), "drive");
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
