#pragma once

// Test support of the settings pages: a working folder of the test's own
// (with "data/") and a settings store of its own, set up once per process
// before the program's singletons are first used, and the place where the
// tests keep their screenshots.

#include <QString>

#include <ostream>

class QWidget;

namespace SettingsTestEnv {

// Makes the process's own working folder and settings store; later calls do
// nothing. Returns the working folder.
QString prepare();
// Writes a file (the bytes as they are); false on failure.
bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);
// Grabs the widget into <build>/screenshots/<name>.png; false on failure.
bool saveScreenshot(QWidget* widget, const QString& name);

} // namespace SettingsTestEnv

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
