#include "brellfin/ui/localizedstring.h"

#include "brellfin/ui/qttranslations.h"
#include "brellfin/ui/sharedtexts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

using BrellfinUi::StringId;

namespace {

// The numbers of the table's entries, every one the tool's windows, lists
// and threads use: the names of stringid.h must keep them.
const int kUsedIds[] = {102, 103, 104, 105, 106, 107, 108, 109, 111, 112, 113, 115, 116, 117, 118, 120, 121, 122,
                        123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140,
                        141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 159,
                        160, 161, 162, 163, 164, 165, 166, 167, 168, 170, 172, 174, 175, 176, 182, 183, 184, 185,
                        186, 187, 188, 189, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205,
                        206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218};

class LocalizedString : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        BrellfinUi::setProgramFolderForTesting(m_dir.path());
    }
    void TearDown() override { BrellfinUi::setProgramFolderForTesting(QString()); }

    void writeSettings(const QByteArray& content)
    {
        QFile file(m_dir.filePath("VexaSetCfg.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTemporaryDir m_dir;
};

TEST_F(LocalizedString, LanguageValueChoosesTheTableOnEveryLoad)
{
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    EXPECT_EQ(loadLocalizedString(StringId::WindowTitle), QString::fromUtf8("Omber文件操作工具"));
    writeSettings("[systemvars]\r\n languagevalue = 1033 \r\n");
    EXPECT_EQ(loadLocalizedString(StringId::WindowTitle), QString("Omber File Operation"));
    writeSettings("[SystemVars]\r\nLanguageValue=\"2052\"\r\n");
    EXPECT_EQ(loadLocalizedString(StringId::WindowTitle), QString::fromUtf8("Omber文件操作工具"));
}

TEST_F(LocalizedString, QtsOwnTextsSpeakTheLanguageOfTheLastLoad)
{
    // The buttons Qt puts into message boxes.
    const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    const auto ok = [] { return QCoreApplication::translate("QPlatformTheme", "OK"); };
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    loadLocalizedString(StringId::WindowTitle);
    EXPECT_EQ(yes(), QString::fromUtf8("是(&Y)"));
    EXPECT_EQ(ok(), QString::fromUtf8("确定"));
    writeSettings("[SystemVars]\r\nLanguageValue=1033\r\n");
    loadLocalizedString(StringId::WindowTitle);
    EXPECT_EQ(yes(), "&Yes");
    EXPECT_EQ(ok(), "OK");

    // Without Qt's catalogues the texts stay Qt's English ones.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    BrellfinUi::setQtTranslationsFolderForTesting(empty.path());
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    EXPECT_EQ(loadLocalizedString(StringId::WindowTitle), QString::fromUtf8("Omber文件操作工具"));
    EXPECT_FALSE(BrellfinUi::useQtTranslations(BrellfinUi::Language::Chinese));
    EXPECT_EQ(yes(), "&Yes");
    BrellfinUi::setQtTranslationsFolderForTesting(QString());
    BrellfinUi::useQtTranslations(BrellfinUi::Language::English);
}

TEST_F(LocalizedString, OtherOrMissingValuesFollowTheLocale)
{
    const QLocale before;
    for (const auto& [locale, desktop] : {std::pair{QLocale(QLocale::Chinese, QLocale::China), "桌面"},
                                          std::pair{QLocale(QLocale::German, QLocale::Germany), "Desktop"},
                                          std::pair{QLocale(QLocale::English, QLocale::UnitedStates), "Desktop"}}) {
        QLocale::setDefault(locale);
        const QString expected = QString::fromUtf8(desktop);
        QFile::remove(m_dir.filePath("VexaSetCfg.ini"));
        EXPECT_EQ(loadLocalizedString(StringId::Desktop), expected);
        writeSettings("[SystemVars]\r\nLanguageValue=1041\r\n");
        EXPECT_EQ(loadLocalizedString(StringId::Desktop), expected);
        writeSettings("[SystemVars]\r\nLanguageValue=abc\r\n");
        EXPECT_EQ(loadLocalizedString(StringId::Desktop), expected);
        writeSettings("[Other]\r\nLanguageValue=1033\r\nLanguageValue=2052\r\n");
        EXPECT_EQ(loadLocalizedString(StringId::Desktop), expected);
    }
    QLocale::setDefault(before);
}

TEST_F(LocalizedString, DisconnectedDiffersOnlyInChinese)
{
    writeSettings("[SystemVars]\r\nLanguageValue=1033\r\n");
    EXPECT_EQ(loadLocalizedString(StringId::Disconnected), QString("disconnected"));
    EXPECT_EQ(loadLocalizedString(StringId::NotConnected), QString("disconnected"));
    EXPECT_EQ(loadLocalizedString(StringId::PathMustStartWithUserDir),
              QString("Path error! The input path must start with '$VEXA_DIR_USER!'"));
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    EXPECT_EQ(loadLocalizedString(StringId::Disconnected), QString::fromUtf8("已断开."));
    EXPECT_EQ(loadLocalizedString(StringId::NotConnected), QString::fromUtf8("未连接"));
    EXPECT_EQ(loadLocalizedString(StringId::UploadFailedReason), QString::fromUtf8("上传失败,失败原因："));
    EXPECT_EQ(loadLocalizedString(StringId::OpenParenthesis), QString::fromUtf8("（"));
}

TEST_F(LocalizedString, EveryUsedIdExistsInBothLanguagesAndNothingElse)
{
    for (int id : kUsedIds) {
        const char* english = BrellfinUi::stringTableText(StringId(id), BrellfinUi::Language::English);
        const char* chinese = BrellfinUi::stringTableText(StringId(id), BrellfinUi::Language::Chinese);
        ASSERT_NE(english, nullptr) << id;
        ASSERT_NE(chinese, nullptr) << id;
        EXPECT_GT(strlen(english), 0u) << id;
        EXPECT_GT(strlen(chinese), 0u) << id;
    }
    for (int id : {0, 101, 110, 158, 169, 219, -1})
        EXPECT_EQ(BrellfinUi::stringTableText(StringId(id), BrellfinUi::Language::English), nullptr) << id;
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    EXPECT_TRUE(loadLocalizedString(StringId(219)).isEmpty());
}

TEST_F(LocalizedString, SharedTextsStayInTheStartUpLanguage)
{
    writeSettings("[SystemVars]\r\nLanguageValue=2052\r\n");
    loadSharedTexts();
    writeSettings("[SystemVars]\r\nLanguageValue=1033\r\n");
    EXPECT_EQ(g_errorText[0], QString::fromUtf8("网络错误"));
    EXPECT_EQ(g_errorText[5], QString::fromUtf8("磁盘不足错误"));
    EXPECT_EQ(g_stateText[3], QString::fromUtf8("已完成"));
    EXPECT_EQ(g_directionText[1], QString::fromUtf8("下载"));
    EXPECT_EQ(loadLocalizedString(StringId::NetworkError), QString("Network error"));
    loadSharedTexts();
    EXPECT_EQ(g_errorText[2], QString("Check the error"));
    EXPECT_EQ(g_stateText[1], QString("ongoing"));
    EXPECT_EQ(g_directionText[0], QString("upload"));
    EXPECT_EQ(g_userAreaTitle, QString::fromUtf8("用户文件区"));
    EXPECT_EQ(g_usbTitle, QString::fromUtf8("U盘"));
    EXPECT_EQ(g_fileServicePort.toUInt(), 127u);
}

TEST(ProgramFolder, DefaultsToTheApplicationFolder)
{
    BrellfinUi::setProgramFolderForTesting(QString());
    EXPECT_EQ(BrellfinUi::programFolder(), QCoreApplication::applicationDirPath());
}

} // namespace
