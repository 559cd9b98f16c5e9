#include "brellfin/mfc/resources.h"

#include <QMutex>
#include <QMutexLocker>

#include <map>

namespace Mfc {

namespace {

struct Registry {
    QMutex mutex;
    std::map<UINT, std::function<DialogTemplate()>> dialogs;
    std::map<UINT, std::function<MenuTemplate()>> menus;
    std::map<UINT, std::function<QPixmap()>> bitmaps;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

template <typename Map>
auto find(Map& map, UINT id) -> typename Map::mapped_type
{
    QMutexLocker lock(&registry().mutex);
    auto it = map.find(id);
    return it == map.end() ? typename Map::mapped_type() : it->second;
}

} // namespace

void registerDialog(UINT id, std::function<DialogTemplate()> provider)
{
    QMutexLocker lock(&registry().mutex);
    registry().dialogs[id] = std::move(provider);
}

void registerMenu(UINT id, std::function<MenuTemplate()> provider)
{
    QMutexLocker lock(&registry().mutex);
    registry().menus[id] = std::move(provider);
}

void registerBitmap(UINT id, std::function<QPixmap()> provider)
{
    QMutexLocker lock(&registry().mutex);
    registry().bitmaps[id] = std::move(provider);
}

std::optional<DialogTemplate> loadDialog(UINT id)
{
    auto provider = find(registry().dialogs, id);
    if (!provider)
        return std::nullopt;
    return provider();
}

std::optional<MenuTemplate> loadMenu(UINT id)
{
    auto provider = find(registry().menus, id);
    if (!provider)
        return std::nullopt;
    return provider();
}

QPixmap loadBitmap(UINT id)
{
    auto provider = find(registry().bitmaps, id);
    return provider ? provider() : QPixmap();
}

} // namespace Mfc
