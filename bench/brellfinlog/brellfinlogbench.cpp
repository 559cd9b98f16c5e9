// Prints how long the log takes for a batch's worth of lines: the tab's
// appendLog, and the whole-text rewrite per line it replaces.
#include "brellfin/dialog/transinfotab.h"

#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"
#include "testing/main/qtleaks.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <cstdio>
#include <cstdlib>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    char pattern[] = "/tmp/twbf-logbench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    BrellfinUi::setProgramFolderForTesting(QString::fromLocal8Bit(pattern));
    loadSharedTexts();

    const QString line = QStringLiteral("/storage/user_dir/project/images/picture_0001.png upload complete.");
    for (int lines : {1000, 10000}) {
        TransInfo page;
        page.Create(140, nullptr);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < lines; ++i)
            page.appendLog(line);
        std::printf("appendLog           %6d lines: %8.1f ms\n", lines, clock.nsecsElapsed() / 1e6);
    }
    for (int lines : {1000, 3000}) {
        QPlainTextEdit box;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < lines; ++i) {
            QString text = box.toPlainText();
            if (!text.isEmpty())
                text += QStringLiteral("\r\n");
            box.setPlainText(text + line);
        }
        std::printf("whole-text rewrite  %6d lines: %8.1f ms\n", lines, clock.nsecsElapsed() / 1e6);
    }
    QDir(QString::fromLocal8Bit(pattern)).removeRecursively();
    return 0;
}
