// The order of a thread's queue of posted events told to ThreadSanitizer:
// see qtqueuepost.h and qteventannotations.cpp.

#include "testing/main/qtqueuepost.h"

#include <QThread>
#include <QtCore/private/qobject_p.h>
#include <QtCore/private/qthread_p.h>

#include <sanitizer/tsan_interface.h>

// In the sanitizer's run-time, not declared by g++ 12's header.
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

namespace TsanAnnotations {

namespace {

thread_local const QueuePost* t_currentPost = nullptr;
thread_local QThreadData* t_ownQueue = nullptr;

// Whether [begin, begin + size) meets the storage of the queue.
__attribute__((no_sanitize_thread)) bool meetsQueue(QThreadData* data, const void* begin, std::size_t size)
{
    const QPostEventList& list = data->postEventList;
    const auto* first = reinterpret_cast<const char*>(list.constData());
    const char* last = first + std::size_t(list.capacity()) * sizeof(QPostEvent);
    const auto* from = static_cast<const char*>(begin);
    return from < last && from + size > first;
}

} // namespace

void* queueKey(QThreadData* data)
{
    return &data->postEventList;
}

QThreadData* threadDataOf(const QObject* object)
{
    return QObjectPrivate::get(const_cast<QObject*>(object))->threadData.loadAcquire();
}

QueuePost::QueuePost(const QObject* receiver)
{
    if (receiver)
        add(threadDataOf(receiver));
    enter();
}

const QueuePost* QueuePost::current()
{
    return t_currentPost;
}

QueuePost::QueuePost(QObject* sender, bool /*signal*/)
{
    // Qt's own members, read as Qt's activate reads them (holding a
    // reference on the connection data, so that no list it walks is freed
    // meanwhile): not ours to check.
    __tsan_ignore_thread_begin();
    {
        QThreadData* current = static_cast<QThreadPrivate*>(QObjectPrivate::get(QThread::currentThread()))->data;
        QObjectPrivate::ConnectionDataPointer connections(QObjectPrivate::get(sender)->connections.loadAcquire());
        const QObjectPrivate::SignalVector* signalVector = connections ? connections->signalVector.loadAcquire()
                                                                       : nullptr;
        for (int signal = -1; signalVector && signal < signalVector->count(); ++signal) {
            for (auto* c = signalVector->at(signal).first.loadAcquire(); c; c = c->nextConnectionList.loadAcquire()) {
                QThreadData* receiverData = c->receiverThreadData.loadAcquire();
                if (c->connectionType != Qt::DirectConnection && receiverData && receiverData != current)
                    add(receiverData);
            }
        }
    }
    __tsan_ignore_thread_end();
    enter();
}

QueuePost::~QueuePost()
{
    t_currentPost = m_outer;
}

void QueuePost::add(QThreadData* data)
{
    if (!data || m_count == kMaxQueues)
        return;
    for (int i = 0; i < m_count; ++i) {
        if (m_queues[i] == data)
            return;
    }
    m_queues[m_count++] = data;
}

void QueuePost::enter()
{
    m_outer = t_currentPost;
    t_currentPost = this;
}

void noteOwnQueue(QThreadData* data)
{
    t_ownQueue = data;
}

void noteOwnQueueOfThisThread()
{
    t_ownQueue = static_cast<QThreadPrivate*>(QObjectPrivate::get(QThread::currentThread()))->data;
}

__attribute__((no_sanitize_thread)) QueueCopy::QueueCopy(const void* destination, const void* source, std::size_t size)
{
    if (size == 0)
        return;
    __tsan_ignore_thread_begin();
    if (t_ownQueue)
        noteIfCopied(t_ownQueue, destination, source, size);
    for (const QueuePost* post = t_currentPost; post; post = post->outer()) {
        for (int i = 0; i < post->count(); ++i)
            noteIfCopied(post->queue(i), destination, source, size);
    }
    __tsan_ignore_thread_end();
    for (int i = 0; i < m_count; ++i)
        __tsan_acquire(m_keys[i]);
}

__attribute__((no_sanitize_thread)) QueueCopy::~QueueCopy()
{
    for (int i = 0; i < m_count; ++i)
        __tsan_release(m_keys[i]);
}

__attribute__((no_sanitize_thread)) void QueueCopy::noteIfCopied(QThreadData* data, const void* destination,
                                                                 const void* source, std::size_t size)
{
    if (m_count == kMaxQueues || !(meetsQueue(data, destination, size) || meetsQueue(data, source, size)))
        return;
    void* key = queueKey(data);
    for (int i = 0; i < m_count; ++i) {
        if (m_keys[i] == key)
            return;
    }
    m_keys[m_count++] = key;
}

} // namespace TsanAnnotations
