#include "tarnwick/widgets/columnfit.h"

#include "tarnwick/core/screentool.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>
#include <numeric>

namespace {

const char kFitName[] = "ColumnFit";

} // namespace

ColumnFit::ColumnFit(QTableView* table, const QVector<int>& widths)
    : QObject(table)
    , m_table(table)
    , m_widths(widths)
{
    setObjectName(QLatin1String(kFitName));
    QHeaderView* header = table->horizontalHeader();
    m_viewport = table->viewport();
    m_headerViewport = header->viewport();
    m_viewport->installEventFilter(this);
    m_headerViewport->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int) { onSectionResized(logical); });
}

ColumnFit* ColumnFit::attach(QTableView* table, const QVector<int>& widths)
{
    delete of(table);
    auto* fit = new ColumnFit(table, widths);
    if (table->isVisible())
        fit->fit();
    return fit;
}

ColumnFit* ColumnFit::of(const QTableView* table)
{
    return table ? table->findChild<ColumnFit*>(QLatin1String(kFitName), Qt::FindDirectChildrenOnly) : nullptr;
}

QVector<int> ColumnFit::fitted(const QVector<int>& designed, const QVector<int>& wanted, int room)
{
    if (std::accumulate(wanted.begin(), wanted.end(), 0) <= room)
        return wanted;
    const qint64 total = std::accumulate(designed.begin(), designed.end(), qint64(0));
    QVector<int> shares;
    shares.reserve(designed.size());
    for (int width : designed)
        shares << int(total > 0 ? qint64(width) * std::max(0, room) / total : 0);
    return shares;
}

int ColumnFit::stretchedColumn() const
{
    const QHeaderView* header = m_table->horizontalHeader();
    if (!header->stretchLastSection())
        return -1;
    for (int visual = header->count() - 1; visual >= 0; --visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            return logical;
    }
    return -1;
}

void ColumnFit::fit()
{
    if (!m_table || m_userSized)
        return;
    QHeaderView* header = m_table->horizontalHeader();
    int room = m_table->viewport()->width();
    if (room <= 0)
        return;
    const int stretched = stretchedColumn();
    QVector<int> columns;
    QVector<int> designed;
    QVector<int> wanted;
    for (int logical = 0; logical < header->count(); ++logical) {
        if (header->isSectionHidden(logical))
            continue;
        const int width = m_widths.value(logical, 0);
        if (width > 0) {
            columns << logical;
            designed << width;
            wanted << ScreenTool::scale(width);
        } else if (logical != stretched) {
            // A column the header sizes keeps its width; the others share the rest.
            room -= header->sectionSize(logical);
        }
    }
    if (columns.isEmpty())
        return;
    const QVector<int> widths = fitted(designed, wanted, room);
    // The stretched column keeps filling what the others leave; its width
    // here is the least it takes.
    m_applying = true;
    for (int i = 0; i < columns.size(); ++i) {
        if (header->sectionSize(columns.at(i)) != widths.at(i) || columns.at(i) == stretched)
            header->resizeSection(columns.at(i), widths.at(i));
    }
    m_applying = false;
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event)
{
    // Only the viewports are looked at here: the table may be half destroyed
    // when they hear their last events.
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == m_viewport && m_viewport->width() != m_viewportWidth) {
            m_viewportWidth = m_viewport->width();
            fit();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: m_mouseDown = m_mouseDown || watched == m_headerViewport; break;
    case QEvent::MouseButtonRelease: m_mouseDown = m_mouseDown && watched != m_headerViewport; break;
    default: break;
    }
    return false;
}

void ColumnFit::onSectionResized(int logical)
{
    // A column dragged or double-clicked to its contents by the user; the
    // header's own stretching of its last column is none.
    if (!m_applying && m_mouseDown && logical != stretchedColumn())
        m_userSized = true;
}
