#include "tarnwick/ui/settings/helpview.h"

#include "tarnwick/ui/settings/tests/settingstestenv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextStream>

namespace {

QTextEdit* textOf(HelpView& view)
{
    return view.findChild<QTextEdit*>();
}

class HelpViewTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
};

TEST_F(HelpViewTest, Utf8FileWithMarkupIsRendered)
{
    const QString path = dir.filePath("help.txt");
    ASSERT_TRUE(SettingsTestEnv::writeBytes(path, u8"<p>调试助手 <b>联机</b> &amp; VNC</p>"));
    HelpView view(path);
    QTextEdit* edit = textOf(view);
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->toPlainText(), QString::fromUtf8(u8"调试助手 联机 & VNC"));
    // The bold run carries its weight.
    QTextCursor cursor(edit->document());
    cursor.setPosition(QString::fromUtf8(u8"调试助手 ").size() + 1);
    EXPECT_EQ(cursor.charFormat().fontWeight(), int(QFont::Bold));
    cursor.setPosition(2);
    EXPECT_NE(cursor.charFormat().fontWeight(), int(QFont::Bold));
}

TEST_F(HelpViewTest, PlainTextKeepsOneBlockPerLineAndShowsMarkupAsText)
{
    const QString path = dir.filePath("log.txt");
    ASSERT_TRUE(SettingsTestEnv::writeBytes(
        path, "[2026/12/09 01:00:00] panel said <b>hi</b>\r\n[2026/12/09 01:00:01] second line\r\nthird"));
    HelpView view(path, nullptr, true);
    QTextDocument* doc = textOf(view)->document();
    ASSERT_EQ(doc->blockCount(), 3);
    EXPECT_EQ(doc->findBlockByNumber(0).text(), "[2026/12/09 01:00:00] panel said <b>hi</b>");
    EXPECT_EQ(doc->findBlockByNumber(1).text(), "[2026/12/09 01:00:01] second line");
    EXPECT_EQ(doc->findBlockByNumber(2).text(), "third");

    // The same file as HTML: one paragraph, markup gone.
    HelpView html(path);
    EXPECT_EQ(textOf(html)->document()->blockCount(), 1);
    EXPECT_FALSE(textOf(html)->toPlainText().contains("<b>"));
}

TEST_F(HelpViewTest, MissingFileGivesAnEmptyPage)
{
    HelpView view(dir.filePath("no-such.txt"));
    EXPECT_TRUE(textOf(view)->toPlainText().isEmpty());
    HelpView plain(dir.filePath("no-such.txt"), nullptr, true);
    EXPECT_TRUE(textOf(plain)->toPlainText().isEmpty());
}

TEST_F(HelpViewTest, ShippedHelpTextLiesBesideTheProgram)
{
    const QString shipped = QCoreApplication::applicationDirPath() + "/data/help_pc.txt";
    const QByteArray bytes = SettingsTestEnv::readBytes(shipped);
    ASSERT_FALSE(bytes.isEmpty()) << shipped.toStdString();
    const QString text = QString::fromUtf8(bytes);
    EXPECT_EQ(text.toUtf8(), bytes); // valid UTF-8
    EXPECT_TRUE(text.contains(QString::fromUtf8(u8"调试助手")));
    HelpView view(shipped);
    EXPECT_FALSE(textOf(view)->toPlainText().isEmpty());
    EXPECT_FALSE(textOf(view)->toPlainText().contains("<p>"));
}

TEST_F(HelpViewTest, HelpFileIsProvidedOnlyWhenMissing)
{
    const QString shipped = dir.filePath("shipped/help_pc.txt");
    const QString target = dir.filePath("user/data/help_pc.txt");
    EXPECT_FALSE(HelpView::provideHelpFile(shipped, target)); // nothing shipped
    EXPECT_FALSE(QFile::exists(target));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("shipped")));
    ASSERT_TRUE(SettingsTestEnv::writeBytes(shipped, u8"<p>帮助</p>"));
    EXPECT_TRUE(HelpView::provideHelpFile(shipped, target));
    EXPECT_EQ(SettingsTestEnv::readBytes(target), SettingsTestEnv::readBytes(shipped));
    ASSERT_TRUE(SettingsTestEnv::writeBytes(target, "the user's own help"));
    EXPECT_TRUE(HelpView::provideHelpFile(shipped, target));
    EXPECT_EQ(SettingsTestEnv::readBytes(target), "the user's own help");
}

TEST_F(HelpViewTest, Screenshot)
{
    const QString shipped = QCoreApplication::applicationDirPath() + "/data/help_pc.txt";
    HelpView view(shipped);
    view.resize(640, 420);
    view.show();
    EXPECT_TRUE(SettingsTestEnv::saveScreenshot(&view, "help_page"));
}

} // namespace
