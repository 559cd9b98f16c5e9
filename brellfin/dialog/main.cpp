// Brellfin: the file-transfer tool, started by Tarnwick with the panel's address.
#include "brellfin/dialog/brellfinapp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CBrellfinApp app;
    app.InitInstance();
    return 0;
}
