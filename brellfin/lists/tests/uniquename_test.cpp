#include "brellfin/lists/uniquename.h"

#include "brellfin/lists/tests/languagefolder.h"
#include "brellfin/ui/uiconstants.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

std::function<bool(const QString&)> takenOf(const QSet<QString>& names)
{
    return [names](const QString& name) { return names.contains(name); };
}

TEST(UniqueName, NumbersTheFirstFreeNameInEnglish)
{
    LanguageFolder english(BrellfinUi::kLanguageEnglish);
    const auto taken = takenOf(
        {"New folder", "New folder(1)", "a.txt", "a-Copy(1).txt", "notes", "a.b.txt", "New File"});
    EXPECT_EQ(uniqueName("New folder", "", true, taken), "New folder(2)");
    EXPECT_EQ(uniqueName("a.txt", "-Copy", false, taken), "a-Copy(2).txt");
    EXPECT_EQ(uniqueName("notes", "-Copy", false, taken), "notes-Copy(1)");
    EXPECT_EQ(uniqueName("a.b.txt", "", false, taken), "a.b(1).txt");
    EXPECT_EQ(uniqueName("a.b.txt", "", true, taken), "a.b.txt(1)");
    EXPECT_EQ(uniqueName("New File", "", false, taken), "New File(1)");
    EXPECT_EQ(uniqueName("b.txt", "-Copy", false, taken), "b.txt");
}

TEST(UniqueName, ACheckWithoutAnAnswerGivesNoName)
{
    LanguageFolder english(BrellfinUi::kLanguageEnglish);
    // The name itself, or a later candidate, cannot be checked.
    for (const QString& unanswered : {QString("New folder"), QString("New folder(2)")}) {
        QStringList asked;
        const auto taken = [&](const QString& name) -> std::optional<bool> {
            asked << name;
            if (name == unanswered)
                return std::nullopt;
            return name != "New folder(3)";
        };
        EXPECT_EQ(checkedUniqueName("New folder", "", true, taken), std::nullopt) << unanswered.toStdString();
        EXPECT_EQ(asked.last(), unanswered); // nothing is asked after it
    }
    const auto answered = [](const QString& name) -> std::optional<bool> { return name != "New folder(1)"; };
    EXPECT_EQ(checkedUniqueName("New folder", "", true, answered), std::optional<QString>("New folder(1)"));
}

TEST(UniqueName, ChineseUsesFullWidthBrackets)
{
    LanguageFolder chinese(BrellfinUi::kLanguageChinese);
    const QString folder = QString::fromUtf8("新建文件夹");
    EXPECT_EQ(uniqueName(folder, "", true, takenOf({folder})), QString::fromUtf8("新建文件夹（1）"));
}

} // namespace
