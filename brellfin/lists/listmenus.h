#pragma once

// The two context menus of the file lists (131 on an item, 143 on the empty
// area), in the language of the moment.

namespace BrellfinLists {

// Registers both menu resources; later calls do nothing.
void registerListMenus();

} // namespace BrellfinLists
