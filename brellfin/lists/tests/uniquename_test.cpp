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

TEST(UniqueName, ChineseUsesFullWidthBrackets)
{
    LanguageFolder chinese(BrellfinUi::kLanguageChinese);
    const QString folder = QString::fromUtf8("新建文件夹");
    EXPECT_EQ(uniqueName(folder, "", true, takenOf({folder})), QString::fromUtf8("新建文件夹（1）"));
}

} // namespace
