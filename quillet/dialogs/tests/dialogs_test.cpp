#include "quillet/dialogs/dialogstyle.h"
#include "quillet/dialogs/hmilogindlg.h"
#include "quillet/dialogs/projectstartdlg.h"
#include "quillet/dialogs/virtualporteditor.h"
#include "quillet/widgets/screentool.h"
#include "testing/fakepassthrough/modalanswerer.h"

#include "ui_hmilogindlg.h"
#include "ui_projectstartdlg.h"
#include "ui_virtualporteditor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QTimer>

namespace {

bool selectable(QComboBox* box, int row)
{
    auto* model = qobject_cast<QStandardItemModel*>(box->model());
    return model && (model->item(row)->flags() & Qt::ItemIsEnabled);
}

// Runs the dialog and presses key once it shows; the dialog's result, or -1
// when the key left it open.
int execWithKey(QDialog* dialog, int key)
{
    bool minimised = false;
    QTimer::singleShot(50, dialog, [dialog, key, &minimised] {
        Fake::pressKey(dialog, key);
        minimised = dialog->isMinimized();
        // Whatever the key did, the dialog must not outlive the test.
        if (dialog->isVisible())
            dialog->done(-1);
    });
    const int result = dialog->exec();
    EXPECT_FALSE(minimised) << "a key minimised " << dialog->metaObject()->className();
    return result;
}

// No title-bar button of a dialog or window takes the keyboard or Enter.
void expectTitleButtonsKeyless(QPushButton* minBtn, QPushButton* closeBtn)
{
    for (QPushButton* button : {minBtn, closeBtn}) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
    }
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(QuilletPortEditor, EmptySetListsEveryPortPlain)
{
    VirtualPortEditor editor;
    editor.setPorts({}, "COM7");
    QComboBox* box = editor.form()->comboBox;
    ASSERT_EQ(box->count(), 254);
    EXPECT_EQ(box->itemText(0), "COM1");
    EXPECT_EQ(box->itemText(253), "COM254");
    EXPECT_EQ(box->currentIndex(), 6);
    EXPECT_EQ(editor.port(), "COM7");
}

TEST(QuilletPortEditor, UsedPortsAreMarkedAndTheCurrentOneChosen)
{
    VirtualPortEditor editor;
    editor.setPorts({"COM3", "COM5"}, "COM5");
    QComboBox* box = editor.form()->comboBox;
    EXPECT_EQ(box->itemText(2), QString::fromUtf8("COM3  (已被占用)"));
    EXPECT_FALSE(selectable(box, 2));
    EXPECT_EQ(box->itemText(4), QString::fromUtf8("COM5  (当前使用)"));
    EXPECT_TRUE(selectable(box, 4));
    EXPECT_EQ(box->currentIndex(), 4);
    EXPECT_EQ(editor.port(), "COM5");
    // The port is the plain name whatever the item shows.
    box->setCurrentIndex(2);
    EXPECT_EQ(editor.port(), "COM3");
}

TEST(QuilletPortEditor, CurrentNamesOutsideTheListLeaveCom1)
{
    for (const char* current : {"COM255", "COM0", "LPT1", "", "COM-3"}) {
        VirtualPortEditor editor;
        editor.setPorts({"COM2"}, "COM9");
        editor.setPorts({}, current);
        EXPECT_EQ(editor.form()->comboBox->currentIndex(), 0) << current;
        EXPECT_EQ(editor.port(), "COM1") << current;
        // A new set replaces the old one: COM2 is plain again.
        EXPECT_EQ(editor.form()->comboBox->itemText(1), "COM2");
    }
}

TEST(QuilletLoginDialog, ClosedDialogIsRejectedWithAnEmptyPassword)
{
    HmiLoginDlg dialog;
    dialog.form()->passwdLineEdit->setText("secret");
    QTimer::singleShot(50, dialog.form()->closeBtn, &QPushButton::click);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.password(), "");
    EXPECT_EQ(dialog.form()->passwdLineEdit->echoMode(), QLineEdit::Password);
}

TEST(QuilletLoginDialog, LoginKeepsThePasswordAndAccepts)
{
    HmiLoginDlg dialog;
    dialog.form()->passwdLineEdit->setText("123");
    QTimer::singleShot(50, dialog.form()->loginBtn, &QPushButton::click);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.password(), "123");
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
}

TEST(QuilletLoginDialog, EnterLogsInWithTheTypedPassword)
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        HmiLoginDlg dialog;
        EXPECT_TRUE(dialog.form()->loginBtn->isDefault());
        expectTitleButtonsKeyless(dialog.form()->minBtn, dialog.form()->closeBtn);
        dialog.form()->passwdLineEdit->setText("123");
        EXPECT_EQ(execWithKey(&dialog, key), QDialog::Accepted);
        EXPECT_EQ(dialog.password(), "123");
    }
}

TEST(QuilletProjectStartDialog, EnterAnswersYes)
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        ProjectStartDlg dialog;
        EXPECT_TRUE(dialog.form()->okBtn->isDefault());
        expectTitleButtonsKeyless(dialog.form()->minBtn, dialog.form()->closeBtn);
        EXPECT_EQ(execWithKey(&dialog, key), QDialog::Accepted);
    }
}

TEST(QuilletPortEditor, EnterTakesTheChosenPort)
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        VirtualPortEditor editor;
        EXPECT_TRUE(editor.form()->okBtn->isDefault());
        expectTitleButtonsKeyless(editor.form()->minBtn, editor.form()->closeBtn);
        editor.setPorts({"COM3"}, "COM4");
        editor.form()->comboBox->setCurrentIndex(8);
        EXPECT_EQ(execWithKey(&editor, key), QDialog::Accepted);
        EXPECT_EQ(editor.port(), "COM9");
    }
}

TEST(QuilletProjectStartDialog, YesAcceptsNoAndCloseReject)
{
    {
        ProjectStartDlg dialog;
        EXPECT_EQ(dialog.form()->promptLabel->text(), QString::fromUtf8("是否进入工程运行界面？"));
        QTimer::singleShot(50, dialog.form()->okBtn, &QPushButton::click);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
    for (int which = 0; which < 2; ++which) {
        ProjectStartDlg dialog;
        QPushButton* button = which == 0 ? dialog.form()->cancelBtn : dialog.form()->closeBtn;
        QTimer::singleShot(50, button, &QPushButton::click);
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
}

TEST(QuilletDialogs, EachIsNamedByItsTitleBarAndSpeaksChinese)
{
    // What the window manager, the task bar and Alt+Tab show is the text of
    // the dialog's own title bar.
    HmiLoginDlg login;
    ProjectStartDlg prompt;
    VirtualPortEditor editor;
    const struct {
        QDialog* dialog;
        QLabel* titleLabel;
        const char* title;
    } dialogs[] = {
        {&login, login.form()->titleLabel, "HMI密码"},
        {&prompt, prompt.form()->titleLabel, "提示框"},
        {&editor, editor.form()->titleLabel, "修改COM口"},
    };
    for (const auto& d : dialogs) {
        const char* name = d.dialog->metaObject()->className();
        EXPECT_EQ(d.dialog->windowTitle(), QString::fromUtf8(d.title)) << name;
        EXPECT_EQ(d.titleLabel->text().trimmed(), QString::fromUtf8(d.title)) << name;
        const QStringList buttons = Fake::buttonTexts(d.dialog);
        EXPECT_FALSE(buttons.isEmpty()) << name;
        EXPECT_EQ(Fake::notChinese(buttons), QStringList()) << name;
    }
}

TEST(QuilletDialogDrag, OnlyATitleBarPressStartsADrag)
{
    ProjectStartDlg dialog;
    dialog.show();
    QApplication::processEvents();
    const QPoint origin = dialog.pos();
    QWidget* title = dialog.form()->titleWidget;
    const QPoint inTitle = title->mapTo(&dialog, QPoint(5, 5));
    const QPoint below = dialog.form()->okBtn->mapTo(&dialog, QPoint(2, 2));

    // A press below the title bar starts nothing.
    sendMouse(&dialog, QEvent::MouseButtonPress, below, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseMove, below + QPoint(30, 20), Qt::LeftButton);
    EXPECT_EQ(dialog.pos(), origin);
    sendMouse(&dialog, QEvent::MouseButtonRelease, below, Qt::NoButton);

    // From the title bar the window follows, also once the pointer has left it.
    sendMouse(&dialog, QEvent::MouseButtonPress, inTitle, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseMove, inTitle + QPoint(10, 100), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(dialog.pos(), origin + QPoint(10, 100));
    // A release ends the drag.
    sendMouse(&dialog, QEvent::MouseButtonRelease, inTitle + QPoint(50, 50), Qt::NoButton);
    sendMouse(&dialog, QEvent::MouseMove, inTitle + QPoint(60, 60), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(dialog.pos(), origin + QPoint(10, 100));
}

TEST(QuilletDialogStyle, SheetsCarryTheScaledSizes)
{
    const QString editor = QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::PortEditor);
    const QString login = QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::Login);
    const QString prompt = QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::ProjectStart);
    const QString font = QString("font: %1px \"Microsoft YaHei\"").arg(ScreenTool::scale(12));
    const QString titleOf = "QWidget#titleWidget{background-color: rgb(22, 155, 213);height: %1px;";
    EXPECT_TRUE(login.contains(font));
    EXPECT_TRUE(login.contains(titleOf.arg(ScreenTool::scale(12))));
    EXPECT_TRUE(editor.contains(titleOf.arg(ScreenTool::scale(24))));
    EXPECT_TRUE(login.contains(QString("QLineEdit, QComboBox{height: %1px;").arg(ScreenTool::scale(20))));
    EXPECT_TRUE(prompt.contains("QLabel#promptLabel{background-color: transparent;color: red;}"));
    EXPECT_FALSE(login.contains("promptLabel"));
    EXPECT_FALSE(login.contains('%'));
    EXPECT_FALSE(QuilletStyle::mainWindowStyleSheet().contains('%'));
}
