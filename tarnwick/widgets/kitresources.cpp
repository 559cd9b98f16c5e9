#include "tarnwick/widgets/kitresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be called from the global namespace.
static void registerKitResources()
{
    Q_INIT_RESOURCE(tarnwick_widgets);
}

void KitResources::init()
{
    static const bool registered = (registerKitResources(), true);
    Q_UNUSED(registered);
}
