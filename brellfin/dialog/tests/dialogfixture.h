#pragma once

// A main dialog in a temporary program folder (English texts unless a test
// chooses Chinese), with message boxes, modal dialogs and menus answered by
// the test and recorded, and helpers to reach its items and the rows of its
// lists.

#include "brellfin/dialog/brellfindlg.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/testhooks.h"
#include "brellfin/ui/stringid.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the dialog with this command line (program name added) and runs
    // OnInitDialog; beforeInit runs on the dialog in between (a call limit
    // for the start-up connect).
    CBrellfinDlg& start(const QStringList& arguments = {},
                        const std::function<void(CBrellfinDlg&)>& beforeInit = nullptr);
    CBrellfinDlg& dialog() { return *m_dialog; }
    void destroyDialog() { m_dialog.reset(); }
    QWidget* item(int id) { return m_dialog->GetDlgItem(id); }
    QString itemText(int id);

    // Texts from now on in this language (1033 English, 2052 Chinese), the
    // shared texts too.
    void setLanguage(int language);
    QString folder() const { return m_folder; }
    QString iniPath() const;
    void writeIni(const QByteArray& bytes);
    QByteArray iniBytes() const;
    QStringList logLines() const;
    // Message box texts, in order.
    QStringList boxTexts() const;

    // Processes events until done() or timeoutMs; done()'s last answer.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    static QString text(BrellfinUi::StringId id);

    // The first row whose name (first cell) is name, or -1.
    static int rowOf(CListCtrl& list, const QString& name);
    // The cells of column c, top to bottom; column 0 holds the names.
    static QStringList column(CListCtrl& list, int c);
    static QStringList names(CListCtrl& list) { return column(list, 0); }
    // Selects exactly the rows named.
    static void select(CListCtrl& list, const QStringList& which);
    // A file's bytes, or "<missing>".
    static QByteArray readFile(const QString& path);

    std::vector<Mfc::MessageBoxCall> m_boxes;
    std::function<int(const Mfc::MessageBoxCall&)> m_boxAnswer;
    std::vector<Mfc::MenuCall> m_menus;
    std::function<UINT(const Mfc::MenuCall&)> m_menuAnswer;

private:
    QString m_folder;
    std::unique_ptr<Mfc::ScopedHooks> m_hooks;
    std::unique_ptr<CBrellfinDlg> m_dialog;
};

// Whether the application shows the wait cursor, looked at from another
// thread half a second after callArrived() first holds: the panel got the
// call that the UI thread waits in, and holds its answer for longer.
class CursorDuringCall {
public:
    explicit CursorDuringCall(std::function<bool()> callArrived);
    ~CursorDuringCall();
    CursorDuringCall(const CursorDuringCall&) = delete;
    CursorDuringCall& operator=(const CursorDuringCall&) = delete;
    bool waitShown();

private:
    std::atomic<bool> m_waitShown{false};
    std::thread m_watcher;
};

// Whether the application shows the wait cursor now.
bool waitCursorShown();
