#pragma once

// A stand-in for the setup program that prints fixed text: a shell script in
// a temporary folder. "<command>.out" holds what a command prints,
// "<command>.hang" makes it hang (its pid goes to "<command>.pid"), and every
// call is logged as its arguments in "calls.log" (relative: the tool's
// working directory must be its folder).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class FakeTool {
public:
    FakeTool();

    QString folder() const { return m_dir.path(); }
    void setOutput(const QString& command, const QByteArray& text) const;
    void setHang(const QString& command) const;
    int hungPid(const QString& command) const;
    QStringList calls() const;

private:
    QTemporaryDir m_dir;
};
