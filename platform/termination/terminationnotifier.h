#pragma once

// Turns SIGTERM and SIGINT into a Qt signal on the thread that made the
// notifier, so that a program can end as its window's close would: the
// signal handler itself only writes the signal's number into a pipe, which a
// socket notifier reads. While a notifier lives, neither signal ends the
// process by itself; the previous handlers come back with its destruction.
// One notifier at a time.

#include "platform/fd/uniquefd.h"

#include <QObject>

class QSocketNotifier;

class TerminationNotifier : public QObject {
    Q_OBJECT
public:
    explicit TerminationNotifier(QObject* parent = nullptr);
    ~TerminationNotifier() override;
    TerminationNotifier(const TerminationNotifier&) = delete;
    TerminationNotifier& operator=(const TerminationNotifier&) = delete;

    // False when the pipe or the handlers could not be set up (or another
    // notifier is active); the signals then keep their previous handling.
    bool isActive() const { return m_readEnd.valid(); }

signals:
    void terminationRequested(int signalNumber);

private:
    void readRequests();

    // The pipe from the signal handler, held only while active; its write
    // end is also in a global for the handler, cleared before the end closes.
    platform::UniqueFd m_readEnd;
    platform::UniqueFd m_writeEnd;
    QSocketNotifier* m_notifier = nullptr;
};
