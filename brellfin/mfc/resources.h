#pragma once

// The resource tables of a program in the stand-in window layer: dialog
// templates (in dialog units), popup menus and bitmaps, each looked up by
// its id. The program registers a provider per id; a provider is asked at
// every load, so it can answer in the language that applies then.

#include "brellfin/mfc/mfcdefs.h"

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace Mfc {

enum class ItemKind {
    Button,
    Edit,
    MultiLineEdit,
    Static,
    GroupBox,
    Bitmap,
    DropDownList,
    IpAddress,
    ListView,
    ShellList,
    Tab,
};

struct DialogItem {
    int id = 0;
    ItemKind kind = ItemKind::Static;
    QString text;
    // Position and size in dialog units.
    QRect rect;
    bool readOnly = false;
    bool password = false;
    // The dialog's default push button: Enter presses it.
    bool defaultButton = false;
    bool hidden = false;
    // Initial entries of a combo box.
    QStringList entries;
    // Bitmap id of a bitmap static.
    int bitmap = 0;
    // How the item follows a resizable window's size, as the platform's
    // dynamic layout of a dialog has it: the share of the change in width
    // and height, in percent, that moves it and that it grows by.
    struct Anchor {
        int moveX = 0;
        int moveY = 0;
        int sizeX = 0;
        int sizeY = 0;
    } anchor;
};

struct DialogTemplate {
    QString caption;
    // The template's font: its size and places are in dialog units of this
    // font on the platform it was made for (DialogFont).
    QString fontFamily = QStringLiteral("MS Shell Dlg");
    int pointSize = 8;
    // Size in dialog units.
    QSize size;
    // The least size in dialog units of the window made resizable (where
    // the template does not fit its screen); empty: the template's size.
    QSize minimumSize;
    // A child page (no frame) rather than a top-level dialog.
    bool child = false;
    bool acceptFiles = false;
    std::vector<DialogItem> items;
};

// An entry of a popup: a command, or (with entries in popup) a nested
// popup that carries no command of its own.
struct MenuEntry {
    MenuEntry() = default;
    MenuEntry(UINT command_, QString text_, bool grayed_ = false, std::vector<MenuEntry> popup_ = {})
        : command(command_)
        , text(std::move(text_))
        , grayed(grayed_)
        , popup(std::move(popup_))
    {
    }

    UINT command = 0;
    QString text;
    bool grayed = false;
    std::vector<MenuEntry> popup;
};

// The popups of a menu resource, each a list of entries.
using MenuTemplate = std::vector<std::vector<MenuEntry>>;

void registerDialog(UINT id, std::function<DialogTemplate()> provider);
void registerMenu(UINT id, std::function<MenuTemplate()> provider);
void registerBitmap(UINT id, std::function<QPixmap()> provider);

std::optional<DialogTemplate> loadDialog(UINT id);
std::optional<MenuTemplate> loadMenu(UINT id);
QPixmap loadBitmap(UINT id);

} // namespace Mfc
