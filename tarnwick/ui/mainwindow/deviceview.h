#pragma once

// The cloud device page: a title box with the action items and the search
// box over the "DeviceTable" table. It holds no device data: the main window
// fills the rows and carries out the actions; the page keeps the sort column
// and order the user chose and stores the search text in the device store.

#include <QString>
#include <QVariant>
#include <QWidget>

class MenuItemGroup;
class QStackedWidget;
class TableView;

class DeviceView : public QWidget {
    Q_OBJECT
public:
    explicit DeviceView(QWidget* parent = nullptr);

    void showPage(int page);
    int currentPage() const;
    void updatePageRows(int page, const QVariantList& rows);
    void setPageRow(int page, int row, const QVariantList& cells);
    int currentRow() const;
    void selectRow(int row);
    QVariant cellValue(int row, int column) const;
    static int keyColumn() { return 3; }
    void ensureCurrentRowVisible();
    int sortColumn() const { return m_sortColumn; }
    bool isAscending() const { return m_sortOrder == Qt::AscendingOrder; }
    void setConnectState(bool connected, bool online);
    void setDirectMode(bool direct);
    void setSearchBoxVisible(bool visible);
    void setItemText(int action, const QString& text);
    void clearSearch();

    MenuItemGroup* menuGroup() const { return menu; }
    TableView* table() const;

signals:
    void pageChanged(int page);
    void menuOperActioned(QString name, int action);
    void selectedRow(int row);
    void orderUpdate();

public slots:
    void onTextChanged(const QString& search);
    void onLogChanged(bool logged);
    void onHeaderClicked(int column);

private:
    TableView* tableOfPage(int page) const;

    QStackedWidget* stack = nullptr;
    MenuItemGroup* menu = nullptr;
    QWidget* searchBox = nullptr;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
