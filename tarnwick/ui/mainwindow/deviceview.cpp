#include "tarnwick/ui/mainwindow/deviceview.h"

#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace C = Tarnwick::MainWindow;

DeviceView::DeviceView(QWidget* parent)
    : QWidget(parent)
{
    KitResources::init();
    setAttribute(Qt::WA_StyledBackground);
    stack = new QStackedWidget(this);
    auto* layout = new QVBoxLayout;

    auto* titleBox = new QWidget(this);
    titleBox->setObjectName(QStringLiteral("TitleBox"));
    titleBox->setStyleSheet(QStringLiteral("QWidget#TitleBox{  margin: 0px; padding: 0px;}"));
    titleBox->setFixedHeight(ScreenTool::scale(55));
    auto* titleLayout = new QHBoxLayout;
    titleLayout->setContentsMargins(10, 0, 10, 0);

    const QString search = DeviceDatas::instance()->searchText();

    searchBox = new QWidget(titleBox);
    searchBox->setObjectName(QStringLiteral("SearchBox"));
    auto* searchLayout = new QHBoxLayout(searchBox);
    auto* searchEdit = new PixmapLineEdit(searchBox);
    searchEdit->setPlaceholderText(C::searchPlaceholder());
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    searchEdit->setIcon(QStringLiteral(":/pics/icon/search2.png"));
    searchEdit->setText(search);
    searchLayout->addWidget(searchEdit, 0);

    menu = new MenuItemGroup(C::deviceMenuName(), titleBox);
    titleLayout->addWidget(menu, 0, Qt::AlignLeft);
    searchBox->setFixedWidth(ScreenTool::scale(280));
    titleLayout->addWidget(searchBox, 0, Qt::AlignRight);

    connect(searchEdit, &PixmapLineEdit::textChanged, this, &DeviceView::onTextChanged);

    menu->addItems({
        {C::ActionConnect, C::connectText(), C::vpnIcon(), QStringLiteral(":/pics/pic/vpn_disable.png")},
        {C::ActionVnc, QStringLiteral("VNC"), QStringLiteral(":/pics/pic/vnc.png"),
         QStringLiteral(":/pics/pic/vnc_disable.png")},
        {C::ActionPass, QStringLiteral("穿透"), QStringLiteral(":/pics/pic/pass.png"),
         QStringLiteral(":/pics/pic/pass_disable.png")},
        {C::ActionFtp, QStringLiteral("FTP"), QStringLiteral(":/pics/pic/ftp.png"),
         QStringLiteral(":/pics/pic/ftp_disable.png")},
        {C::ActionSave, QStringLiteral("保存"), QStringLiteral(":/pics/pic/save.png"),
         QStringLiteral(":/pics/pic/save_disable.png")},
        {C::ActionRefresh, QStringLiteral("刷新"), QStringLiteral(":/pics/pic/refresh.png"), QString()},
        {C::ActionLogout, C::logoutText(), QStringLiteral(":/pics/pic/quit.png"), QString()},
    });

    titleBox->setLayout(titleLayout);
    layout->addWidget(titleBox, 1);

    auto* table = new TableView(stack);
    table->setObjectName(C::deviceTableName());
    const QString sheet = table->styleSheet()
                          + QStringLiteral(
                              "QTableWidget#DeviceTable{border: 1px solid grey; margin-left: 10px;margin-right: "
                              "10px;margin-bottom: 10px;}");
    auto column = [](const char* title, QHeaderView::ResizeMode mode, int width, Qt::Alignment align) {
        TableColumn c;
        c.title = QString::fromUtf8(title);
        c.cellType = TableColumn::Text;
        c.resizeMode = mode;
        c.width = width;
        c.alignment = align;
        return c;
    };
    table->setColumns({
        column("序号", QHeaderView::Fixed, 40, Qt::AlignCenter),
        column("类型", QHeaderView::Fixed, 60, Qt::AlignCenter),
        column("联网", QHeaderView::Fixed, 60, Qt::AlignCenter),
        column("设备编号", QHeaderView::Interactive, 180, Qt::AlignCenter),
        column("设备名称", QHeaderView::Interactive, 120, Qt::AlignCenter),
        column("状态", QHeaderView::Interactive, 80, Qt::AlignCenter),
        column("内网IP", QHeaderView::Interactive, 130, Qt::AlignCenter),
        column("ICCID", QHeaderView::Interactive, 200, Qt::AlignLeft),
    });
    table->setStyleSheet(sheet);
    stack->addWidget(table);

    showPage(0);

    layout->addWidget(stack, 99);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setLayout(layout);

    onHeaderClicked(3);

    connect(menu, &MenuItemGroup::actioned, this, &DeviceView::menuOperActioned);
    connect(table, &TableView::selectedRow, this, &DeviceView::selectedRow);
    connect(GlobalConfig::instance(), &GlobalConfig::onLogChanged, this, &DeviceView::onLogChanged);
    connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this, &DeviceView::onHeaderClicked);
}

TableView* DeviceView::tableOfPage(int page) const
{
    if (page < 0 || page >= stack->count())
        return nullptr;
    return qobject_cast<TableView*>(stack->widget(page));
}

TableView* DeviceView::table() const
{
    return tableOfPage(0);
}

void DeviceView::showPage(int page)
{
    if (page == 0) {
        stack->setCurrentIndex(0);
        emit pageChanged(0);
    }
    menu->setVisible(true);
}

int DeviceView::currentPage() const
{
    return stack->currentIndex();
}

void DeviceView::updatePageRows(int page, const QVariantList& rows)
{
    if (TableView* table = tableOfPage(page))
        table->updateRows(rows);
}

void DeviceView::setPageRow(int page, int row, const QVariantList& cells)
{
    if (TableView* table = tableOfPage(page))
        table->setRow(row, cells);
}

int DeviceView::currentRow() const
{
    TableView* table = tableOfPage(stack->currentIndex());
    return table ? table->currentRow() : -1;
}

void DeviceView::selectRow(int row)
{
    if (TableView* table = tableOfPage(stack->currentIndex()))
        table->selectRow(row);
}

QVariant DeviceView::cellValue(int row, int column) const
{
    TableView* table = tableOfPage(stack->currentIndex());
    return table ? table->cellValue(row, column) : QVariant();
}

void DeviceView::ensureCurrentRowVisible()
{
    if (TableView* table = tableOfPage(stack->currentIndex()))
        table->ensureCurrentRowVisible();
}

void DeviceView::setConnectState(bool connected, bool online)
{
    if (connected) {
        menu->changeItem(C::ActionConnect, C::ActionStop, C::stopIcon(), C::stopText());
        menu->setItemDisabled(C::ActionStop, false);
    } else {
        menu->changeItem(C::ActionStop, C::ActionConnect, C::vpnIcon(), C::connectText());
        menu->setItemDisabled(C::ActionConnect, !online);
    }
    menu->setItemDisabled(C::ActionSave, false);
    menu->setItemDisabled(C::ActionVnc, !connected);
    menu->setItemDisabled(C::ActionFtp, !connected);
    menu->setItemDisabled(C::ActionPass, !connected);
}

void DeviceView::setDirectMode(bool direct)
{
    menu->changeItem(C::ActionStop, C::ActionConnect, C::vpnIcon(), C::connectText());
    menu->setItemDisabled(C::ActionConnect, direct);
    menu->setItemDisabled(C::ActionVnc, !direct);
    menu->setItemDisabled(C::ActionPass, !direct);
    menu->setItemDisabled(C::ActionSave, direct);
}

void DeviceView::setSearchBoxVisible(bool visible)
{
    searchBox->setVisible(visible);
}

void DeviceView::setItemText(int action, const QString& text)
{
    menu->changeItemText(action, action, text);
}

void DeviceView::clearSearch()
{
    DeviceDatas::instance()->setSearchText(QString());
    if (auto* edit = searchBox->findChild<PixmapLineEdit*>(QStringLiteral("searchEdit")))
        edit->setText(QString());
}

void DeviceView::onTextChanged(const QString& search)
{
    DeviceDatas::instance()->setSearchText(search);
}

void DeviceView::onLogChanged(bool logged)
{
    if (logged)
        menu->addItem(C::ActionDebugLog, C::helpIcon(), C::debugText());
    else
        menu->removeItem(C::ActionDebugLog);
}

void DeviceView::onHeaderClicked(int column)
{
    QHeaderView* header = table()->horizontalHeader();
    if (column == 0) {
        header->setSortIndicator(m_sortColumn, m_sortOrder);
        return;
    }
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column == m_sortColumn)
        order = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, order);
    m_sortColumn = column;
    m_sortOrder = order;
    emit orderUpdate();
    table()->scrollToTop();
}
