#include "quillet/forms/quilletresources.h"

#include <QtGlobal>

void initQuilletResources()
{
    Q_INIT_RESOURCE(quillet);
}
