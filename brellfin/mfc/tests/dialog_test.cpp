// Dialogs of the window layer: the key pre-translation walk, keys that never
// close a dialog, combo handlers, timers, modal runs through the hook, and
// the size and font a template gives, with Wine's face or without it.
#include "brellfin/mfc/dialog.h"

#include "brellfin/mfc/controls.h"
#include "brellfin/mfc/dialogfont.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/mfc/resources.h"
#include "brellfin/mfc/testhooks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

namespace {

constexpr UINT kTemplate = 9001;
constexpr int kEdit = 10;
constexpr int kButton = 11;
constexpr int kCombo = 12;

Mfc::DialogItem itemOf(int id, Mfc::ItemKind kind, const QRect& rect, const QString& text = QString())
{
    Mfc::DialogItem item;
    item.id = id;
    item.kind = kind;
    item.rect = rect;
    item.text = text;
    return item;
}

void registerTestTemplate()
{
    Mfc::registerDialog(kTemplate, [] {
        Mfc::DialogTemplate t;
        t.caption = QStringLiteral("walk");
        t.size = QSize(200, 100);
        Mfc::DialogItem combo = itemOf(kCombo, Mfc::ItemKind::DropDownList, QRect(5, 40, 60, 12));
        combo.entries = QStringList{QStringLiteral("zero"), QStringLiteral("one")};
        t.items = {itemOf(kEdit, Mfc::ItemKind::Edit, QRect(5, 5, 100, 12)),
                   itemOf(kButton, Mfc::ItemKind::Button, QRect(5, 20, 40, 14), QStringLiteral("press")), combo};
        return t;
    });
}

struct Seen {
    QString where;
    UINT message;
    WPARAM key;
};

class WalkEdit : public CEdit {
public:
    explicit WalkEdit(std::vector<Seen>* seen)
        : m_seen(seen)
    {
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        m_seen->push_back({QStringLiteral("edit"), msg->message, msg->wParam});
        return consumeKey != 0 && msg->wParam == consumeKey ? TRUE : FALSE;
    }
    UINT consumeKey = 0;
    int enterPressed = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return)
            ++enterPressed;
        CEdit::keyPressEvent(event);
    }

private:
    std::vector<Seen>* m_seen;
};

class CountingButton : public CButton {
public:
    int clicks = 0;

protected:
    void OnClicked() override { ++clicks; }
};

class CountingCombo : public CComboBox {
public:
    int changes = 0;

protected:
    void OnSelChange() override { ++changes; }
};

class WalkDialog : public CDialog {
public:
    WalkDialog()
        : CDialog(kTemplate)
        , edit(&seen)
    {
        registerTestTemplate();
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        seen.push_back({QStringLiteral("dialog"), msg->message, msg->wParam});
        if (escapeToEnter && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
            msg->wParam = VK_RETURN;
        return FALSE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands.push_back(static_cast<UINT>(wParam));
        return CDialog::OnCommand(wParam, lParam);
    }

    std::vector<Seen> seen;
    std::vector<UINT> commands;
    WalkEdit edit;
    CountingButton button;
    CountingCombo combo;
    bool escapeToEnter = false;
    int oks = 0;
    int cancels = 0;

protected:
    void DoDataExchange() override
    {
        SubclassDlgItem(kEdit, &edit);
        SubclassDlgItem(kButton, &button);
        SubclassDlgItem(kCombo, &combo);
    }
    void OnOK() override { ++oks; }
    void OnCancel() override
    {
        ++cancels;
        CDialog::OnCancel();
    }
};

void sendKey(QWidget* widget, int key, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

TEST(MfcDialog, KeyWalkGoesFromTheEditUpToTheDialogWithACharacterForPrintables)
{
    WalkDialog dialog;
    dialog.Create();
    sendKey(&dialog.edit, Qt::Key_A, QStringLiteral("a"));
    ASSERT_EQ(dialog.seen.size(), 6u);
    EXPECT_EQ(dialog.seen[0].where, "edit");
    EXPECT_EQ(dialog.seen[0].message, WM_KEYDOWN);
    EXPECT_EQ(dialog.seen[0].key, 'A');
    EXPECT_EQ(dialog.seen[1].where, "dialog");
    EXPECT_EQ(dialog.seen[1].message, WM_KEYDOWN);
    EXPECT_EQ(dialog.seen[2].message, WM_CHAR);
    EXPECT_EQ(dialog.seen[2].key, 'a');
    EXPECT_EQ(dialog.seen[3].where, "dialog");
    EXPECT_EQ(dialog.seen[4].message, WM_KEYUP);
    EXPECT_EQ(dialog.seen[5].where, "dialog");
    EXPECT_EQ(dialog.edit.text(), "a");
}

TEST(MfcDialog, AConsumedKeyStopsTheWalkAndNeverReachesTheWindow)
{
    WalkDialog dialog;
    dialog.Create();
    dialog.edit.consumeKey = 'B';
    sendKey(&dialog.edit, Qt::Key_B, QStringLiteral("b"));
    // Down and up are each seen by the edit only; no character follows a consumed key-down.
    ASSERT_EQ(dialog.seen.size(), 2u);
    EXPECT_EQ(dialog.seen[0].where, "edit");
    EXPECT_EQ(dialog.seen[1].where, "edit");
    EXPECT_EQ(dialog.seen[1].message, WM_KEYUP);
    EXPECT_TRUE(dialog.edit.text().isEmpty());
}

TEST(MfcDialog, EscapeAndEnterNeverCloseTheDialog)
{
    WalkDialog dialog;
    dialog.Create();
    dialog.show();
    dialog.escapeToEnter = true;
    sendKey(&dialog, Qt::Key_Escape);
    sendKey(&dialog.edit, Qt::Key_Escape);
    sendKey(&dialog.edit, Qt::Key_Return, QStringLiteral("\r"));
    sendKey(&dialog, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isEnded());
    EXPECT_EQ(dialog.cancels, 0);
    EXPECT_EQ(dialog.button.clicks, 0);
    EXPECT_TRUE(dialog.commands.empty()) << "no default button took the Enter";
    // Escape became Enter on its way, and the edit got the Enter.
    EXPECT_EQ(dialog.edit.enterPressed, 2);
}

TEST(MfcDialog, EnterPressesTheDefaultButtonOnlyWhileItIsEnabled)
{
    constexpr UINT kDefaultTemplate = 9002;
    Mfc::registerDialog(kDefaultTemplate, [] {
        Mfc::DialogTemplate t;
        t.size = QSize(200, 60);
        Mfc::DialogItem ok = itemOf(IDOK, Mfc::ItemKind::Button, QRect(5, 20, 40, 14), QStringLiteral("OK"));
        ok.defaultButton = true;
        t.items = {itemOf(kEdit, Mfc::ItemKind::Edit, QRect(5, 5, 100, 12)), ok};
        return t;
    });
    struct OkDialog : CDialog {
        OkDialog()
            : CDialog(kDefaultTemplate)
        {
        }
        void OnOK() override
        {
            ++oks;
            CDialog::OnOK();
        }
        int oks = 0;
    } dialog;
    dialog.Create();
    QWidget* edit = dialog.GetDlgItem(kEdit);
    ASSERT_NE(edit, nullptr);

    EnableWindow(dialog.GetDlgItem(IDOK), false);
    sendKey(edit, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(dialog.oks, 0);
    EXPECT_FALSE(dialog.isEnded());

    EnableWindow(dialog.GetDlgItem(IDOK), true);
    sendKey(edit, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(dialog.oks, 1);
    EXPECT_TRUE(dialog.isEnded());
    EXPECT_EQ(dialog.endResult(), IDOK);
}

TEST(MfcDialog, CloseButtonRunsOnCancelAndEndsWithIdCancel)
{
    WalkDialog dialog;
    dialog.Create();
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_TRUE(dialog.isEnded());
    EXPECT_EQ(dialog.endResult(), IDCANCEL);
}

TEST(MfcDialog, ComboHandlerRunsOnTheUsersChoiceOnly)
{
    WalkDialog dialog;
    dialog.Create();
    EXPECT_EQ(dialog.combo.GetCount(), 2);
    dialog.combo.SetCurSel(1);
    dialog.combo.setCurrentIndex(0);
    EXPECT_EQ(dialog.combo.changes, 0);
    // What the view does when the user picks an entry.
    emit dialog.combo.activated(1);
    EXPECT_EQ(dialog.combo.changes, 1);
}

TEST(MfcDialog, SubclassedItemKeepsItsPlaceAndIdAndTheTemplateTexts)
{
    WalkDialog dialog;
    dialog.Create();
    EXPECT_EQ(dialog.GetDlgItem(kButton), &dialog.button);
    EXPECT_EQ(GetDlgCtrlID(&dialog.button), kButton);
    EXPECT_EQ(dialog.button.text(), "press");
    EXPECT_FALSE(dialog.button.autoDefault());
    EXPECT_EQ(dialog.button.parentWidget(), &dialog);
    EXPECT_GT(dialog.button.geometry().width(), 0);
}

TEST(MfcDialog, ModalHookActsOnTheDialogAndAnOpenOneEndsCancelled)
{
    Mfc::ScopedHooks hooks;
    WalkDialog dialog;
    Mfc::setModalAnswerer([](CDialog& d) { d.OnCommand(IDOK, 0); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.oks, 1);
    Mfc::setModalAnswerer([](CDialog& d) { d.EndDialog(IDOK); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(MfcDialog, TimersFireOnTimerUntilKilled)
{
    class TimerDialog : public CDialog {
    public:
        TimerDialog()
            : CDialog(kTemplate)
        {
            registerTestTemplate();
        }
        int ticks = 0;

    protected:
        void OnTimer(UINT_PTR id) override
        {
            if (id == 7)
                ++ticks;
        }
    } dialog;
    dialog.Create();
    dialog.SetTimer(7, 10);
    EXPECT_TRUE(dialog.hasTimer(7));
    QElapsedTimer clock;
    clock.start();
    while (dialog.ticks < 2 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(dialog.ticks, 2);
    EXPECT_TRUE(dialog.KillTimer(7));
    EXPECT_FALSE(dialog.hasTimer(7));
    const int ticks = dialog.ticks;
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(dialog.ticks, ticks);
}

TEST(MfcDialog, TemplatesTakeTheSizeTheyHaveOnTheirOwnPlatform)
{
    // "MS Shell Dlg" 8 pt there: 6 x 13 px at 96 DPI, in proportion elsewhere.
    EXPECT_EQ(Mfc::DialogFont::templateBaseUnits(8, 96), QSize(6, 13));
    EXPECT_EQ(Mfc::DialogFont::templateBaseUnits(8, 120), QSize(8, 16));
    EXPECT_EQ(Mfc::DialogFont::templateBaseUnits(8, 144), QSize(9, 20));
    EXPECT_EQ(Mfc::DialogFont::templateBaseUnits(8, 192), QSize(12, 26));
    EXPECT_EQ(Mfc::DialogFont::templateBaseUnits(9, 96), QSize(7, 15));
    EXPECT_EQ(Mfc::dialogUnitsToPixels(QRect(0, 0, 841, 331), QSize(6, 13)), QRect(0, 0, 1261, 537));
    EXPECT_EQ(Mfc::dialogUnitsToPixels(QRect(7, 260, 827, 64), QSize(6, 13)), QRect(10, 422, 1240, 104));

    WalkDialog dialog;
    dialog.Create();
    const QSize units = Mfc::DialogFont::templateBaseUnits(8, dialog.logicalDpiY());
    EXPECT_EQ(dialog.size(), QSize(200 * units.width() / 4, 100 * units.height() / 8));
    // A modal frame: neither sizing nor maximising.
    EXPECT_EQ(dialog.minimumSize(), dialog.size());
    EXPECT_EQ(dialog.maximumSize(), dialog.size());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    // Every control is drawn in the template's stand-in, which fits its units.
    const QSize measured = Mfc::DialogFont::measuredBaseUnits(dialog.edit.font());
    EXPECT_LE(measured.width(), units.width());
    EXPECT_LE(measured.height(), units.height());
}

// Collects the warnings that Qt's message handler receives.
class WarningLog {
public:
    WarningLog()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&WarningLog::handle);
    }
    ~WarningLog() { qInstallMessageHandler(m_previous); }
    WarningLog(const WarningLog&) = delete;
    WarningLog& operator=(const WarningLog&) = delete;
    const QStringList& lines() const { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtWarningMsg)
            s_lines << text;
    }
    static QStringList s_lines;
    QtMessageHandler m_previous;
};
QStringList WarningLog::s_lines;

TEST(MfcDialog, WithoutWinesFaceTheSystemFaceStandsInAndTheSizeStays)
{
    const QString wineFace = Mfc::DialogFont::fontFolder() + QStringLiteral("/tahoma.ttf");
    if (!QFile::exists(wineFace))
        GTEST_SKIP() << wineFace.toStdString() << " is missing (package fonts-wine)";
    WalkDialog withFace;
    withFace.Create();
    EXPECT_TRUE(Mfc::DialogFont::faceLoaded());
    EXPECT_EQ(QFontInfo(withFace.edit.font()).family(), QStringLiteral("Tahoma"));

    QTemporaryDir empty;
    Mfc::DialogFont::setFontFolderForTesting(empty.path());
    {
        WarningLog warnings;
        WalkDialog without;
        without.Create();
        WalkDialog again;
        again.Create();
        EXPECT_FALSE(Mfc::DialogFont::faceLoaded());
        EXPECT_NE(QFontInfo(without.edit.font()).family(), QStringLiteral("Tahoma"));
        EXPECT_EQ(without.size(), withFace.size());
        // Said once, with what to install.
        ASSERT_EQ(warnings.lines().size(), 1) << warnings.lines().join('\n').toStdString();
        EXPECT_TRUE(warnings.lines().front().contains(QStringLiteral("fonts-wine")));
        // The stand-in at each DPI: no larger than the template's own units.
        for (int dpi : {96, 120, 144, 192}) {
            const QSize units = Mfc::DialogFont::templateBaseUnits(8, dpi);
            const QSize measured = Mfc::DialogFont::measuredBaseUnits(Mfc::DialogFont::forTemplate(QFont(), 8, dpi));
            EXPECT_LE(measured.width(), units.width()) << dpi;
            EXPECT_LE(measured.height(), units.height()) << dpi;
            EXPECT_GE(measured.height(), units.height() * 3 / 4) << dpi << ": no smaller than it needs to be";
        }
    }
    Mfc::DialogFont::setFontFolderForTesting(QString());
    EXPECT_TRUE(Mfc::DialogFont::faceLoaded());
}

TEST(MfcMessageBox, AShortTextNeverCutsALongerCaption)
{
    // Shown for real (no hook): the box is measured, then answered.
    const QString caption = QStringLiteral("A caption far longer than the short text below it");
    int width = 0;
    int answer = 0;
    // Runs inside the box's own event loop until the box is there.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        width = box->width();
        box->button(QMessageBox::Yes)->click();
    });
    poll.start(20);
    answer = MessageBox(nullptr, QStringLiteral("ok."), caption, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDYES);
    QFont title;
    title.setBold(true);
    // The caption and the title bar's own buttons beside it.
    EXPECT_GE(width, QFontMetrics(title).horizontalAdvance(caption) + 100);
}

} // namespace
