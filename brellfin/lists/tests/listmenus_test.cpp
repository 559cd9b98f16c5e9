#include "brellfin/lists/listmenus.h"

#include "brellfin/lists/listconstants.h"
#include "brellfin/lists/tests/languagefolder.h"
#include "brellfin/mfc/resources.h"
#include "brellfin/ui/uiconstants.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

using namespace BrellfinLists;

// The entries of a popup, a nested popup as "text{entry|entry}", a command
// entry as "text=command" with "(grey)" when it starts greyed.
QString shape(const std::vector<Mfc::MenuEntry>& entries)
{
    QStringList out;
    for (const Mfc::MenuEntry& entry : entries) {
        QString text = entry.text;
        if (!entry.popup.empty())
            text += "{" + shape(entry.popup) + "}";
        else
            text += "=" + QString::number(entry.command);
        if (entry.grayed)
            text += "(grey)";
        out << text;
    }
    return out.join('|');
}

QString shape(unsigned menu)
{
    const auto loaded = Mfc::loadMenu(menu);
    if (!loaded || loaded->size() != 1)
        return QStringLiteral("<not one popup>");
    return shape(loaded->front());
}

TEST(ListMenus, BothMenusInBothLanguagesWithNewAsANestedPopup)
{
    registerListMenus();
    {
        LanguageFolder english(BrellfinUi::kLanguageEnglish);
        EXPECT_EQ(shape(kItemMenu), "transport=32782(grey)|copy=32778(grey)|paste=32779(grey)|rename=32780(grey)|"
                                    "delete=32781(grey)");
        EXPECT_EQ(shape(kAreaMenu),
                  "select all(A)=32796|refresh=32795|paste=32799(grey)|new{new folder=32793|new file=32794}");
    }
    LanguageFolder chinese(BrellfinUi::kLanguageChinese);
    EXPECT_EQ(
        shape(kItemMenu),
        QString::fromUtf8("传输=32782(grey)|复制=32778(grey)|粘贴=32779(grey)|重命名=32780(grey)|删除=32781(grey)"));
    EXPECT_EQ(shape(kAreaMenu),
              QString::fromUtf8("全选(A)=32796|刷新=32795|粘贴=32799(grey)|新建{新建文件夹=32793|新建文件=32794}"));
}

} // namespace
