// The transfer tab: the queue's context menu and commands, the remote-path
// cells, the log lines and the log export.
#include "brellfin/dialog/transinfotab.h"

#include "dialogfixture.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/ui/sharedtexts.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>

#include <algorithm>

namespace {

using namespace BrellfinUi;

class TransferTab : public DialogFixture {
protected:
    TransInfoTab& tab() { return *dialog().transInfoTab(); }
    CListCtrl& queue() { return tab().listPage().list(); }

    void addRows(int count, TransferState state = TransferState::Ready)
    {
        std::vector<TransferRecord> records;
        for (int i = 0; i < count; ++i) {
            TransferRecord record;
            record.name = QStringLiteral("f%1").arg(i);
            record.localPath = QStringLiteral("/pc/f%1").arg(i);
            record.remotePath = QStringLiteral("/storage/user_dir/f%1").arg(i);
            record.progress = QStringLiteral("0%");
            record.state = state;
            record.operation = TransferDirection::Download;
            records.push_back(record);
        }
        tab().addRecords(records);
    }
    void select(std::initializer_list<int> rows)
    {
        for (int r = 0; r < queue().GetItemCount(); ++r)
            queue().SetItemState(r, 0, LVIS_SELECTED);
        for (int r : rows)
            queue().SetItemState(r, LVIS_SELECTED, LVIS_SELECTED);
    }
    // The enabled commands of the menu a right click on row shows.
    std::vector<UINT> menuOn(int row)
    {
        m_menus.clear();
        queue().simulateClick(NM_RCLICK, row, 0);
        std::vector<UINT> enabled;
        if (m_menus.size() != 1)
            return {0xFFFFFFFFu};
        for (const auto& entry : m_menus[0].entries)
            if (entry.enabled)
                enabled.push_back(entry.command);
        return enabled;
    }
};

TEST_F(TransferTab, RowsShowEveryCellAndTheShortRemotePath)
{
    start();
    EXPECT_EQ(queue().GetColumnCount(), 6);
    TransferRecord a;
    a.name = "b.txt";
    a.localPath = "/pc/b.txt";
    a.remotePath = "/storage/user_dir/a/b.txt";
    a.progress = "42%";
    a.state = TransferState::Paused;
    a.operation = TransferDirection::Upload;
    TransferRecord b = a;
    b.remotePath = "/media/usb/x";
    b.operation = TransferDirection::Download;
    TransferRecord c = a;
    c.remotePath = "/storage/user_dir";
    TransferRecord d = a;
    d.remotePath = "/elsewhere/y";
    addRows(1);
    tab().addRecords({a, b, c, d});
    ASSERT_EQ(queue().GetItemCount(), 5);
    EXPECT_EQ(queue().GetItemText(1, 0), "b.txt");
    EXPECT_EQ(queue().GetItemText(1, 1), "paused");
    EXPECT_EQ(queue().GetItemText(1, 2), "42%");
    EXPECT_EQ(queue().GetItemText(1, 3), "/pc/b.txt");
    EXPECT_EQ(queue().GetItemText(1, 4), "upload");
    EXPECT_EQ(queue().GetItemText(1, 5), "/a/b.txt");
    EXPECT_EQ(queue().GetItemText(2, 4), "download");
    EXPECT_EQ(queue().GetItemText(2, 5), "x");
    EXPECT_EQ(queue().GetItemText(3, 5), "");
    EXPECT_EQ(queue().GetItemText(4, 5), "/elsewhere/y");
}

TEST_F(TransferTab, MenuEnablesWhatTheSelectionAllows)
{
    start();
    EXPECT_TRUE(menuOn(-1).empty());

    addRows(3, TransferState::Ongoing);
    queue().SetItemText(2, 1, "paused");
    select({0, 1});
    EXPECT_EQ(menuOn(0), (std::vector<UINT>{kCmdDelete, kCmdDeleteAll}));
    EXPECT_EQ(tab().listPage().selection(), (std::vector<int>{0, 1}));
    select({0});
    EXPECT_EQ(menuOn(0), (std::vector<UINT>{kCmdPause, kCmdDelete, kCmdDeleteAll}));
    select({2});
    EXPECT_EQ(menuOn(2), (std::vector<UINT>{kCmdContinue, kCmdDelete, kCmdDeleteAll}));
    // A click on no row enables neither pause nor continue.
    EXPECT_EQ(menuOn(-1), (std::vector<UINT>{kCmdDelete, kCmdDeleteAll}));
    select({});
    EXPECT_EQ(menuOn(-1), (std::vector<UINT>{kCmdDeleteAll}));
}

TEST_F(TransferTab, DeleteWithoutABatchRemovesExactlyTheSelectedRows)
{
    start();
    addRows(6);
    select({1, 3, 4});
    m_menuAnswer = [](const Mfc::MenuCall&) { return kCmdDelete; };
    queue().simulateClick(NM_RCLICK, 1, 0);
    EXPECT_EQ(names(queue()), (QStringList{"f0", "f2", "f5"}));
    EXPECT_EQ(tab().pendingAction(), PendingNone);
}

TEST_F(TransferTab, DeleteAllAnsweredNoChangesNothing)
{
    start();
    addRows(3);
    dialog().localList()->setTransferring(true);
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDNO; };
    m_menuAnswer = [](const Mfc::MenuCall&) { return kCmdDeleteAll; };
    queue().simulateClick(NM_RCLICK, -1, 0);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Sure to delete");
    EXPECT_EQ(m_boxes[0].text, text(StringId::StopTransferAndDeleteQuestion));
    EXPECT_EQ(m_boxes[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(names(queue()), (QStringList{"f0", "f1", "f2"}));
    EXPECT_EQ(tab().pendingAction(), PendingNone);
    EXPECT_TRUE(dialog().localList()->isTransferring());

    // Yes empties the queue and ends both batches' flags.
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    queue().simulateClick(NM_RCLICK, -1, 0);
    EXPECT_EQ(queue().GetItemCount(), 0);
    EXPECT_FALSE(dialog().localList()->isTransferring());
    EXPECT_EQ(tab().pendingAction(), PendingNone);
}

TEST_F(TransferTab, LogLinesFollowTheStartTextOnNewLines)
{
    start();
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Omber File Operation started...");
    EXPECT_TRUE(lines[1].endsWith("]    Waiting for the connection.")) << lines[1].toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\]    )").match(lines[1]).hasMatch());
}

TEST_F(TransferTab, LogLinesFromAnotherThreadArriveInOrder)
{
    start();
    QThread* worker = QThread::create([this] {
        for (int i = 0; i < 50; ++i)
            tab().appendLog(QStringLiteral("line %1").arg(i));
        tab().setCell(0, 2, "50%");
    });
    addRows(1);
    worker->start();
    worker->wait();
    delete worker;
    ASSERT_TRUE(waitUntil([this] { return logLines().size() == 52; }, 5000));
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(logLines()[i + 2].endsWith(QStringLiteral("line %1").arg(i)));
    EXPECT_EQ(queue().GetItemText(0, 2), "50%");
}

class LogExport : public TransferTab {
protected:
    QString exportFile() const { return QDir(folder()).filePath("TransInfoExport/TransInfo.txt"); }
    void exportLog()
    {
        m_menuAnswer = [](const Mfc::MenuCall&) { return kCmdExport; };
        tab().logPage().edit().showContextMenu(QPoint(0, 0));
    }
    QByteArray fileBytes() const
    {
        QFile file(exportFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

TEST_F(LogExport, EmptyLogGivesAnEmptyFile)
{
    start();
    tab().logPage().edit().clear();
    exportLog();
    EXPECT_EQ(fileBytes(), QByteArray());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "export");
    EXPECT_EQ(m_boxes[0].text, exportFile() + text(StringId::EmptyFileExported));
}

TEST_F(LogExport, LogIsWrittenAsUtf8WithAByteOrderMarkAndCrLf)
{
    start();
    tab().appendLog(QStringLiteral("连接成功."));
    exportLog();
    const QByteArray bytes = fileBytes();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QString content = QString::fromUtf8(bytes.mid(3));
    const QStringList lines = content.split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Omber File Operation started...");
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("]    连接成功.")));
    EXPECT_FALSE(content.contains(QRegularExpression("[^\r]\n")));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, text(StringId::LogExported));

    // A second export asks first; No keeps the file as it was.
    tab().appendLog("more");
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDNO; };
    exportLog();
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].caption, "export file exists");
    EXPECT_EQ(m_boxes[1].text, "TransInfo.txt " + text(StringId::FileExistsOverwriteQuestion));
    EXPECT_EQ(fileBytes(), bytes);
}

TEST_F(LogExport, FileThatCannotBeOpenedShowsTheFailureAndWritesNothing)
{
    start();
    // A folder where the file should be: it exists, and cannot be opened for writing.
    ASSERT_TRUE(QDir().mkpath(exportFile()));
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    exportLog();
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, text(StringId::FileOpenFailed));
    EXPECT_TRUE(QFileInfo(exportFile()).isDir());
    EXPECT_TRUE(QDir(exportFile()).isEmpty());
}

TEST_F(LogExport, EmptyAnsweredYesClearsTheLog)
{
    start();
    m_menuAnswer = [](const Mfc::MenuCall&) { return kCmdEmpty; };
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDNO; };
    tab().logPage().edit().showContextMenu(QPoint(0, 0));
    EXPECT_FALSE(tab().logPage().edit().logText().isEmpty());
    m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    tab().logPage().edit().showContextMenu(QPoint(0, 0));
    EXPECT_TRUE(tab().logPage().edit().logText().isEmpty());
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].caption, "Confirm");
}

// What each test line of the log reads after its time: letters of one
// height, so that lines never touch and a cut line is shorter than the rest.
const QString kLogLineText = QStringLiteral("XXXXXXXXXXXX");

// The rows of the log box's view that hold text right of the time stamps, as
// bands of rows: one band per line that the box shows, whole or in part.
struct InkBand {
    int top;
    int bottom;
    int height() const { return bottom - top + 1; }
};

std::vector<InkBand> inkBands(CustomEdit& edit)
{
    const QImage image = edit.viewport()->grab().toImage();
    const QRgb base = edit.palette().color(QPalette::Base).rgb();
    const QFontMetrics metrics = edit.fontMetrics();
    const int left = int(edit.document()->documentMargin()) + metrics.horizontalAdvance("[0000/00/00 00:00:00]    ")
                     + 2;
    const int right = std::min(image.width(), left + metrics.horizontalAdvance(kLogLineText) - 4);
    std::vector<InkBand> bands;
    bool inBand = false;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = left; x < right && !ink; ++x)
            ink = image.pixel(x, y) != base;
        if (ink && !inBand)
            bands.push_back({y, y});
        if (ink)
            bands.back().bottom = y;
        inBand = ink;
    }
    return bands;
}

// The box shows whole lines only, as many as fit, the last line of the log
// the lowest of them; a log shorter than the box starts at its top.
void expectWholeLinesEndingWithTheLast(CustomEdit& edit, int lines)
{
    const std::vector<InkBand> bands = inkBands(edit);
    ASSERT_FALSE(bands.empty());
    const int lineHeight = edit.fontMetrics().lineSpacing();
    const int viewHeight = edit.viewport()->height();
    const int fitting = std::min(lines, viewHeight / lineHeight);
    // Each line's ink is as tall as the others', and a line cut by the bottom
    // edge would be shorter.
    for (const InkBand& band : bands)
        EXPECT_NEAR(band.height(), bands.front().height(), 1) << "band at " << band.top;
    EXPECT_GE(int(bands.size()), std::max(1, fitting - 1));
    EXPECT_LE(int(bands.size()), fitting);
    EXPECT_LT(bands.front().top, lineHeight) << "the text starts at the top of the box";

    QTextCursor end(edit.document());
    end.movePosition(QTextCursor::End);
    const QRect last = edit.cursorRect(end);
    EXPECT_GE(last.top(), 0);
    EXPECT_LE(last.bottom(), viewHeight);
    EXPECT_GE(bands.back().top, last.top() - 1) << "the lowest line in view is the last one";
    EXPECT_LE(bands.back().bottom, last.bottom() + 1);
    if (lines > fitting) {
        EXPECT_GT(last.bottom() + 1 + lineHeight, viewHeight) << "no room left for a further line";
    }
    EXPECT_EQ(edit.document()->blockCount(), lines);
}

TEST_F(TransferTab, TheLogShowsWholeLinesEndingWithTheLastWheneverItIsShownOrGrows)
{
    start();
    dialog().show();
    ASSERT_TRUE(waitUntil([&] { return dialog().isVisible(); }, 10000));
    CustomEdit& edit = tab().logPage().edit();
    edit.clear();
    int added = 0;
    for (int lines : {3, 30, 300}) {
        SCOPED_TRACE(lines);
        // Lines arrive while the queue tab is shown; then the log tab is shown.
        tab().tabBar()->setCurrentIndex(0);
        for (; added < lines - 1; ++added)
            tab().appendLog(kLogLineText);
        tab().tabBar()->setCurrentIndex(1);
        ASSERT_TRUE(waitUntil([&] { return edit.isVisible(); }, 10000));
        {
            SCOPED_TRACE("shown");
            expectWholeLinesEndingWithTheLast(edit, added);
        }
        // The user scrolls to the top; one more line brings the end back.
        edit.verticalScrollBar()->setValue(0);
        tab().appendLog(kLogLineText);
        ++added;
        {
            SCOPED_TRACE("added");
            expectWholeLinesEndingWithTheLast(edit, added);
        }
        // Scrolled to the top, a box taller than the log shows it whole, and
        // a shorter one shows whole lines only.
        edit.verticalScrollBar()->setValue(0);
        const std::vector<InkBand> top = inkBands(edit);
        ASSERT_FALSE(top.empty());
        for (const InkBand& band : top)
            EXPECT_NEAR(band.height(), top.front().height(), 1) << "scrolled to the top, band at " << band.top;
    }
}

TEST_F(TransferTab, TabChangeShowsOnePageAtATime)
{
    start();
    EXPECT_FALSE(tab().listPage().isHidden());
    EXPECT_TRUE(tab().logPage().isHidden());
    tab().tabBar()->setCurrentIndex(1);
    EXPECT_TRUE(tab().listPage().isHidden());
    EXPECT_FALSE(tab().logPage().isHidden());
}

} // namespace
