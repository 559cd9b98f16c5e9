#pragma once

// For the ThreadSanitizer tree's annotations (qteventannotations.cpp): the
// order of a thread's queue of posted events.

#include <QObject>

class QThreadData;

namespace TsanAnnotations {

// A thread's queue of posted events, which every post to the thread and the
// thread itself, taking events out, change under the queue's lock inside
// libQt5Core (with memcpy and memmove, which the sanitizer sees): its key is
// the queue itself. A post acquires it before Qt's call and releases it
// after; a delivery acquires and releases it on the receiving thread.
void* queueKey(QThreadData* data);

QThreadData* threadDataOf(const QObject* object);

// The queues one post reaches: the receiver's, or for a signal the queues of
// every receiver that a connection of the sender may post to (any signal of
// the sender's: a little wider than the one emitted). Bounded: a queue past
// the bound is not described, which can only report more, never less.
class QueuePost {
public:
    explicit QueuePost(const QObject* receiver);
    QueuePost(QObject* sender, bool signal);
    ~QueuePost();

    QueuePost(const QueuePost&) = delete;
    QueuePost& operator=(const QueuePost&) = delete;

private:
    void add(QThreadData* data);
    void acquireAll();

    static constexpr int kMaxQueues = 16;
    void* m_keys[kMaxQueues] = {};
    int m_count = 0;
};

} // namespace TsanAnnotations
