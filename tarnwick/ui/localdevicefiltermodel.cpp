#include "tarnwick/ui/localdevicefiltermodel.h"

#include <QRegExp>

LocalDeviceFilterModel::LocalDeviceFilterModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

bool LocalDeviceFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QAbstractItemModel* source = sourceModel();
    if (!source || sourceRow < 0 || sourceRow >= source->rowCount())
        return true;
    const QRegExp expression = filterRegExp();
    if (expression.isEmpty())
        return true;
    // Column 0 is the row number and is never searched.
    const int columns = source->columnCount(sourceParent);
    for (int column = 1; column < columns; ++column) {
        const QString text = source->data(source->index(sourceRow, column, sourceParent), Qt::DisplayRole).toString();
        if (expression.indexIn(text, 0) >= 0)
            return true;
    }
    return false;
}

QVariant LocalDeviceFilterModel::data(const QModelIndex& index, int role) const
{
    if (!sourceModel() || index.row() < 0 || index.column() < 0 || !index.model())
        return QVariant();
    if (index.column() == 0 && role == Qt::DisplayRole)
        return QStringLiteral("%1").arg(index.row() + 1);
    return QSortFilterProxyModel::data(index, role);
}

bool LocalDeviceFilterModel::lessThan(const QModelIndex& sourceLeft, const QModelIndex& sourceRight) const
{
    if (sourceLeft.column() == 0 && sourceRight.column() == 0)
        return false;
    return QSortFilterProxyModel::lessThan(sourceLeft, sourceRight);
}
