#pragma once

// For the ThreadSanitizer tree's annotations (qteventannotations.cpp): the
// order of a thread's queue of posted events.

#include <QObject>

#include <cstddef>

class QThreadData;

namespace TsanAnnotations {

// A thread's queue of posted events, which every post to the thread and the
// thread itself, taking events out, change under the queue's lock inside
// libQt5Core, with memcpy and memmove (which the sanitizer sees): its key is
// the queue itself, acquired and released around each such copy (QueueCopy).
void* queueKey(QThreadData* data);

QThreadData* threadDataOf(const QObject* object);

// The queues one post under way on this thread reaches: the receiver's, or
// for a signal the queues of every receiver that a connection of the sender
// may post to (any signal of the sender's: a little wider than the one
// emitted). Bounded: a queue past the bound is not described, which can only
// report more, never less.
class QueuePost {
public:
    explicit QueuePost(const QObject* receiver);
    QueuePost(QObject* sender, bool signal);
    ~QueuePost();

    QueuePost(const QueuePost&) = delete;
    QueuePost& operator=(const QueuePost&) = delete;

    // The queues of the posts under way on this thread, innermost first.
    static const QueuePost* current();
    const QueuePost* outer() const { return m_outer; }
    int count() const { return m_count; }
    QThreadData* queue(int i) const { return m_queues[i]; }

private:
    void add(QThreadData* data);
    void enter();

    static constexpr int kMaxQueues = 16;
    QThreadData* m_queues[kMaxQueues] = {};
    int m_count = 0;
    const QueuePost* m_outer = nullptr;
};

// The thread's own queue, noted when it makes its event dispatcher and at
// each delivery.
void noteOwnQueue(QThreadData* data);
void noteOwnQueueOfThisThread();

// A memcpy or memmove of Qt's code: when it reads or writes the storage of a
// queue that the thread is posting to, or of its own, it happens under that
// queue's lock inside libQt5Core; the copy acquires the queue's key before
// and releases it after, which is that lock's order exactly. Not
// instrumented: the C library's copies run before the sanitizer has started.
class QueueCopy {
public:
    QueueCopy(const void* destination, const void* source, std::size_t size);
    ~QueueCopy();

    QueueCopy(const QueueCopy&) = delete;
    QueueCopy& operator=(const QueueCopy&) = delete;

private:
    void noteIfCopied(QThreadData* data, const void* destination, const void* source, std::size_t size);

    static constexpr int kMaxQueues = 4;
    void* m_keys[kMaxQueues] = {};
    int m_count = 0;
};

} // namespace TsanAnnotations
