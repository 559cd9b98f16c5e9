#include "programfixture.h"

#include "quillet/app/quilletconstants.h"
#include "quillet/dialogs/virtualporteditor.h"
#include "ui_mainwindow.h"
#include "ui_virtualporteditor.h"

#include <QDir>
#include <QFile>

using Fake::ModalAnswerer;
using Quillet::text;
namespace T = Quillet::Text;

namespace {

// Confirms the port editor, after choosing row (COM<row + 1>) where row is given.
ModalAnswerer::Handler choosePort(int row = -1)
{
    return [row](QWidget* dialog) {
        if (auto* editor = qobject_cast<VirtualPortEditor*>(dialog)) {
            if (row >= 0)
                editor->form()->comboBox->setCurrentIndex(row);
            editor->form()->okBtn->click();
        }
    };
}

} // namespace

TEST_F(QuilletProgram, InstallShowsTheUsersEndAndUninstallRemovesIt)
{
    makeWindow();
    EXPECT_TRUE(window->form()->installBtn->isEnabled());
    EXPECT_FALSE(window->form()->changeBtn->isEnabled());
    window->InstallVirtualCom();
    EXPECT_EQ(status(), text(T::kInstallDone));
    EXPECT_EQ(statusColour(), 1);
    EXPECT_EQ(window->form()->virtualComLineEdit->text(), "COM2");
    EXPECT_FALSE(window->form()->installBtn->isEnabled());
    EXPECT_TRUE(window->form()->uninstallBtn->isEnabled());
    EXPECT_TRUE(window->form()->changeBtn->isEnabled());

    window->UninstallVirtualCom();
    EXPECT_EQ(status(), text(T::kUninstallDone));
    EXPECT_EQ(window->form()->virtualComLineEdit->text(), "");
    EXPECT_TRUE(window->form()->installBtn->isEnabled());
    EXPECT_FALSE(window->form()->uninstallBtn->isEnabled());
}

TEST_F(QuilletProgram, FailedInstallIsRedAndLeavesOnlyInstall)
{
    // A setup program that runs but never shows a pair.
    const QString broken = QDir(QString::fromStdString(loggingFolder)).filePath("broken/");
    QDir().mkpath(broken);
    QFile script(broken + "setupc.exe");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 0\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    pair = std::make_unique<VirtualCom>(broken);
    window = std::make_unique<MainWindow>(nullptr, pair.get());
    window->show();
    window->InstallVirtualCom();
    EXPECT_EQ(status(), text(T::kInstallFailed));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_TRUE(window->form()->installBtn->isEnabled());
    EXPECT_FALSE(window->form()->uninstallBtn->isEnabled());
    EXPECT_FALSE(window->form()->changeBtn->isEnabled());
}

// A setup program that gives no answer says nothing of the pair: the
// channel's local side fails (not "no pair installed"), and an uninstall
// that the list cannot confirm is no success.
TEST_F(QuilletProgram, ASetupProgramWithoutAnswerIsNoMissingPairAndNoUninstall)
{
    installPair();
    makeWindow(2000);
    ASSERT_EQ(window->form()->virtualComLineEdit->text(), "COM2");
    setListHangs(true);

    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kLocalFailed));
    EXPECT_EQ(statusColour(), 0);

    window->UninstallVirtualCom();
    EXPECT_EQ(status(), text(T::kUninstallFailed));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_TRUE(window->form()->uninstallBtn->isEnabled());
    setListHangs(false);
}

TEST_F(QuilletProgram, RenameToTheCurrentNameChangesNothing)
{
    installPair();
    makeWindow();
    ASSERT_EQ(window->form()->virtualComLineEdit->text(), "COM2");
    ModalAnswerer answerer(choosePort());
    window->ChangeVirtualPort();
    EXPECT_EQ(answerer.seen(), QStringList({"VirtualPortEditor"}));
    EXPECT_EQ(status(), text(T::kUnchanged));
    EXPECT_EQ(statusColour(), 1);
    EXPECT_EQ(toolCalls().find("change"), std::string::npos) << toolCalls();
}

TEST_F(QuilletProgram, RenameReachesTheTool)
{
    installPair();
    makeWindow();
    ModalAnswerer answerer(choosePort(8));
    window->ChangeVirtualPort();
    EXPECT_EQ(status(), text(T::kChangeDone));
    EXPECT_EQ(window->form()->virtualComLineEdit->text(), "COM9");
    EXPECT_NE(toolCalls().find("change CNCB0 RealPortName=COM9"), std::string::npos) << toolCalls();
}

TEST_F(QuilletProgram, RefusedRenameIsRedAndShowsTheNameReadBack)
{
    installPair();
    makeWindow();
    // COM3 is the own end: the tool refuses it without asking for a restart.
    ModalAnswerer answerer(choosePort(2));
    window->ChangeVirtualPort();
    EXPECT_NE(toolCalls().find("change CNCB0 RealPortName=COM3"), std::string::npos) << toolCalls();
    EXPECT_EQ(status(), text(T::kChangeRestart));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_EQ(window->form()->virtualComLineEdit->text(), "COM2");
}
