// Brellfin as its program runs it (CBrellfinApp), on the display that
// dialogclose_test gives, connected to the test's fake panel
// (BRELLFIN_CLOSE_PANEL, "a.b.c.d:port") and sending the file
// BRELLFIN_CLOSE_FILE by a double click in the PC pane. Prints "window <id>"
// once the window is shown and the batch has started, and returns when the
// dialog has ended.

#include "brellfin/dialog/brellfinapp.h"
#include "brellfin/dialog/brellfindlg.h"
#include "brellfin/mfc/dialog.h"
#include "brellfin/ui/localizedstring.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

CBrellfinDlg* shownDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = dynamic_cast<CBrellfinDlg*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

TEST(BrellfinProgram, RunsWithABatchUntilItsWindowIsClosed)
{
    const QString panel = qEnvironmentVariable("BRELLFIN_CLOSE_PANEL");
    const QFileInfo file(qEnvironmentVariable("BRELLFIN_CLOSE_FILE"));
    ASSERT_FALSE(panel.isEmpty());
    ASSERT_TRUE(file.isFile());
    // Its settings stay out of the build's program folder.
    QTemporaryDir programFolder;
    BrellfinUi::setProgramFolderForTesting(programFolder.path());
    Mfc::setCommandLineForTesting({QStringLiteral("Brellfin")});
    QApplication::setQuitOnLastWindowClosed(false);

    bool started = false;
    QTimer::singleShot(0, [&] {
        CBrellfinDlg* dialog = shownDialog();
        if (!dialog || !dialog->fileService()->connect(FF::Net::Address(panel.toUtf8().constData())))
            return;
        // Where the connect button leaves the window.
        dialog->setConnectState(true, true);
        dialog->remoteList()->setCurrentPath(QStringLiteral("/storage/user_dir"));
        WinShellList* local = dialog->localList();
        local->navigateTo(file.absolutePath());
        for (int row = 0; row < local->GetItemCount(); ++row) {
            if (local->GetItemText(row, 0) == file.fileName()) {
                local->simulateClick(NM_DBLCLK, row, 0);
                break;
            }
        }
        started = local->isTransferring();
        if (started) {
            std::printf("window %llu\n", static_cast<unsigned long long>(dialog->winId()));
            std::fflush(stdout);
        } else {
            dialog->close();
        }
    });
    CBrellfinApp app;
    app.InitInstance();
    EXPECT_TRUE(started);
    BrellfinUi::setProgramFolderForTesting(QString());
}

} // namespace
