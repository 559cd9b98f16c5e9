// The entry of the main program Tarnwick; it takes no arguments of its own.

#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TarnwickStart start;
    if (start.start() != 0)
        return -1;
    return start.exec();
}
