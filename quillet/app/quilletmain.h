#pragma once

class QApplication;
class VirtualCom;

// Quillet's entry after the application object exists: the single-instance
// lock "vexaquillet", the application font, the window with the panel address
// of argv[1], the event loop. Returns the loop's result, or -1 (after a
// critical box) when another copy runs or the lock cannot be taken.
// pair: the virtual pair to drive (VirtualCom::instance() when null).
int runQuillet(QApplication& app, int argc, char** argv, VirtualCom* pair = nullptr);
