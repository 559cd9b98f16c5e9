#include "tarnwick/ui/localdevicefiltermodel.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QRegExp>
#include <QStandardItemModel>

namespace {

// Six columns as the local device model gives them: number, device number,
// name, state, address, LAN address.
struct Rows {
    QStandardItemModel source{0, 6};
    LocalDeviceFilterModel proxy;

    Rows()
    {
        add("1", "SN-B", "Press", QString::fromUtf8("在  线"), "192.168.1.20", "10.0.0.20");
        add("2", "SN-A", "Lathe", QString::fromUtf8("离  线"), "192.168.1.10", "");
        add("3", "SN-C", "Mill", QString::fromUtf8("占  用"), "172.16.0.5", "10.9.9.9");
        proxy.setSourceModel(&source);
    }

    void add(const QString& n, const QString& no, const QString& name, const QString& state, const QString& ip,
             const QString& lan)
    {
        QList<QStandardItem*> items;
        for (const QString& text : {n, no, name, state, ip, lan})
            items << new QStandardItem(text);
        source.appendRow(items);
    }

    void filter(const QString& typed)
    {
        proxy.setFilterRegExp(QRegExp("^" + typed, Qt::CaseSensitive, QRegExp::RegExp));
    }

    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < proxy.rowCount(); ++r)
            out << proxy.data(proxy.index(r, c)).toString();
        return out;
    }
};

} // namespace

TEST(LocalDeviceFilterModel, TypedTextIsAnAnchoredExpressionOverEveryColumnButTheNumber)
{
    const struct {
        const char* typed;
        QStringList shown; // device numbers
    } cases[] = {
        {"", {"SN-B", "SN-A", "SN-C"}},
        // State texts match only with their blanks.
        {"在线", {}},
        {"在  线", {"SN-B"}},
        // A match in the LAN column alone keeps the row.
        {"10\\.9", {"SN-C"}},
        // The row number column is never searched.
        {"3", {}},
        // Unescaped: "." is any character.
        {"192.", {"SN-B", "SN-A"}},
        // Anchored: not found in the middle.
        {"168", {}},
        {"SN-[AC]", {"SN-A", "SN-C"}},
    };
    Rows rows;
    for (const auto& c : cases) {
        rows.filter(QString::fromUtf8(c.typed));
        EXPECT_EQ(rows.column(1), c.shown) << c.typed;
    }
}

TEST(LocalDeviceFilterModel, VisibleRowsAreNumberedFromOneAfterFilterAndSort)
{
    Rows rows;
    rows.filter("SN-[BC]");
    rows.proxy.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(rows.column(1), QStringList({"SN-C", "SN-B"}));
    EXPECT_EQ(rows.column(0), QStringList({"1", "2"}));
    rows.filter("");
    rows.proxy.sort(4, Qt::AscendingOrder);
    EXPECT_EQ(rows.column(1), QStringList({"SN-C", "SN-A", "SN-B"}));
    EXPECT_EQ(rows.column(0), QStringList({"1", "2", "3"}));
}

TEST(LocalDeviceFilterModel, SortingByTheNumberColumnKeepsTheOrder)
{
    Rows rows;
    rows.proxy.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(rows.column(1), QStringList({"SN-B", "SN-A", "SN-C"}));
    rows.proxy.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(rows.column(1), QStringList({"SN-B", "SN-A", "SN-C"}));
}

TEST(LocalDeviceFilterModel, OtherRolesAndColumnsComeFromTheSource)
{
    Rows rows;
    rows.source.item(0, 3)->setData(QColor(0, 0, 255), Qt::ForegroundRole);
    EXPECT_EQ(rows.proxy.data(rows.proxy.index(0, 3), Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_EQ(rows.proxy.data(rows.proxy.index(0, 4)).toString(), "192.168.1.20");
    EXPECT_FALSE(rows.proxy.data(QModelIndex()).isValid());
}

TEST(LocalDeviceFilterModel, WithoutSourceEveryRowIsAcceptedAndNothingShown)
{
    LocalDeviceFilterModel proxy;
    EXPECT_EQ(proxy.rowCount(), 0);
    EXPECT_FALSE(proxy.data(proxy.index(0, 0)).isValid());
}
