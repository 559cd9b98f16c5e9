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
    acquireAll();
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
    acquireAll();
}

QueuePost::~QueuePost()
{
    for (int i = 0; i < m_count; ++i)
        __tsan_release(m_keys[i]);
}

void QueuePost::add(QThreadData* data)
{
    if (!data || m_count == kMaxQueues)
        return;
    void* key = queueKey(data);
    for (int i = 0; i < m_count; ++i) {
        if (m_keys[i] == key)
            return;
    }
    m_keys[m_count++] = key;
}

void QueuePost::acquireAll()
{
    for (int i = 0; i < m_count; ++i)
        __tsan_acquire(m_keys[i]);
}

} // namespace TsanAnnotations
