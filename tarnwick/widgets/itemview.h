#pragma once

// The value interface of cell widgets: the table view reads and writes a cell
// widget through it without knowing its type. A QObject that implements it
// lists it in Q_INTERFACES, so qobject_cast<ItemView*> (or the meta-object
// cast by the name "ItemView") reaches it.

#include <QObject>
#include <QVariant>

class ItemView {
public:
    virtual ~ItemView() = default;
    virtual void setValue(const QVariant& value) = 0;
    virtual QVariant value() const = 0;
};

Q_DECLARE_INTERFACE(ItemView, "ItemView")
