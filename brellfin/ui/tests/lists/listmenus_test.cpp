#include "brellfin/ui/listmenus.h"

#include "brellfin/mfc/resources.h"
#include "brellfin/ui/listconstants.h"
#include "brellfin/ui/tests/lists/languagefolder.h"
#include "brellfin/ui/uiconstants.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

using namespace BrellfinLists;

QStringList texts(unsigned menu)
{
    QStringList out;
    const auto loaded = Mfc::loadMenu(menu);
    if (loaded && !loaded->empty())
        for (const Mfc::MenuEntry& entry : loaded->front())
            out << entry.text;
    return out;
}

TEST(ListMenus, BothMenusInBothLanguagesWithTheirGreyEntries)
{
    registerListMenus();
    {
        LanguageFolder english(BrellfinUi::kLanguageEnglish);
        EXPECT_EQ(texts(kItemMenu), QStringList({"transport", "copy", "paste", "rename", "delete"}));
        EXPECT_EQ(texts(kAreaMenu), QStringList({"select all(A)", "refresh", "paste", "new folder", "new file"}));
    }
    LanguageFolder chinese(BrellfinUi::kLanguageChinese);
    EXPECT_EQ(texts(kItemMenu), QString::fromUtf8("传输 复制 粘贴 重命名 删除").split(' '));
    EXPECT_EQ(texts(kAreaMenu), QString::fromUtf8("全选(A) 刷新 粘贴 新建文件夹 新建文件").split(' '));
    const auto item = Mfc::loadMenu(kItemMenu);
    ASSERT_TRUE(item);
    for (const Mfc::MenuEntry& entry : item->front())
        EXPECT_TRUE(entry.grayed);
    const auto area = Mfc::loadMenu(kAreaMenu);
    ASSERT_TRUE(area);
    for (const Mfc::MenuEntry& entry : area->front())
        EXPECT_EQ(entry.grayed, entry.command == kCmdAreaPaste);
}

} // namespace
