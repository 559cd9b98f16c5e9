#pragma once

// The proxy between the local device model and the page's table: hides the
// rows that the search expression finds in none of the columns after the
// row number, numbers the visible rows from 1 in the order shown, and keeps
// the row-number column out of sorting.

#include <QSortFilterProxyModel>

class LocalDeviceFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit LocalDeviceFilterModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& sourceLeft, const QModelIndex& sourceRight) const override;
};
