#pragma once

// Where the programs installed beside Tarnwick live ("fileoperate/Brellfin",
// "Quillet"): in the folder of the running binary, not in the working
// folder, which the main window makes the user's data folder. Tests move the
// base folder to one of their own.

#include <QString>

class ProgramPath {
public:
    // The absolute path of name (a path relative to the program's folder).
    static QString resolve(const QString& name);
    // The file tool, started with a panel's address.
    static QString brellfin() { return resolve(QStringLiteral("fileoperate/Brellfin")); }
    // The folder that names are resolved against: the override when one is
    // set, else QCoreApplication::applicationDirPath().
    static QString baseDir();
    // An empty folder drops the override.
    static void setBaseDir(const QString& dir);
};
