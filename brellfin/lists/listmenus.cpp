#include "brellfin/lists/listmenus.h"

#include "brellfin/lists/listconstants.h"
#include "brellfin/mfc/resources.h"
#include "brellfin/ui/localizedstring.h"

namespace BrellfinLists {

namespace {

bool chinese()
{
    return BrellfinUi::currentLanguage() == BrellfinUi::Language::Chinese;
}

Mfc::MenuEntry entry(unsigned command, const char* english, const char* chineseText, bool grayed)
{
    return Mfc::MenuEntry{command, QString::fromUtf8(chinese() ? chineseText : english), grayed};
}

} // namespace

void registerListMenus()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Mfc::registerMenu(kItemMenu, [] {
        return Mfc::MenuTemplate{{entry(kCmdTransport, "transport", "传输", true),
                                  entry(kCmdCopy, "copy", "复制", true), entry(kCmdPaste, "paste", "粘贴", true),
                                  entry(kCmdRename, "rename", "重命名", true),
                                  entry(kCmdDelete, "delete", "删除", true)}};
    });
    Mfc::registerMenu(kAreaMenu, [] {
        Mfc::MenuEntry newPopup = entry(0, "new", "新建", false);
        newPopup.popup = {entry(kCmdNewFolder, "new folder", "新建文件夹", false),
                          entry(kCmdNewFile, "new file", "新建文件", false)};
        return Mfc::MenuTemplate{{entry(kCmdSelectAll, "select all(A)", "全选(A)", false),
                                  entry(kCmdRefresh, "refresh", "刷新", false),
                                  entry(kCmdAreaPaste, "paste", "粘贴", true), newPopup}};
    });
}

} // namespace BrellfinLists
