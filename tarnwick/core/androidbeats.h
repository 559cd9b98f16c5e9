#pragma once

// Questions about the Android apps that the system relies on.

#include <QObject>

class AndroidBeats : public QObject {
    Q_OBJECT
public:
    // The parent given on the first call becomes the instance's parent.
    static AndroidBeats* instance(QObject* parent = nullptr);
    // Every app counts as installed: there is nothing to query on this side.
    static bool isApkInstalled(const QString& package);

private:
    explicit AndroidBeats(QObject* parent);
};
