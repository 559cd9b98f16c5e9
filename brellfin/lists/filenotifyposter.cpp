#include "brellfin/lists/filenotifyposter.h"

#include <QMetaObject>
#include <QObject>

FileNotifyPoster::FileNotifyPoster(QObject* context, BatchNotifyTarget* target, int batch)
    : m_context(context)
    , m_target(target)
    , m_batch(batch)
{
}

// Queued events to one receiver run in the order they were posted, and
// those still pending when the receiver is destroyed are dropped.
void FileNotifyPoster::onTransferStarted(const std::string& localPath)
{
    QMetaObject::invokeMethod(
        m_context, [target = m_target, batch = m_batch, localPath] { target->batchStarted(batch, localPath); },
        Qt::QueuedConnection);
}

void FileNotifyPoster::onTransferProgress(const std::string& localPath, double fraction)
{
    QMetaObject::invokeMethod(
        m_context,
        [target = m_target, batch = m_batch, localPath, fraction] {
            target->batchProgress(batch, localPath, fraction);
        },
        Qt::QueuedConnection);
}

void FileNotifyPoster::onTransferFileDone(const std::string& localPath)
{
    QMetaObject::invokeMethod(
        m_context, [target = m_target, batch = m_batch, localPath] { target->batchFileDone(batch, localPath); },
        Qt::QueuedConnection);
}

void FileNotifyPoster::onTransferAllDone()
{
    QMetaObject::invokeMethod(
        m_context, [target = m_target, batch = m_batch] { target->batchAllDone(batch); }, Qt::QueuedConnection);
}

void FileNotifyPoster::onTransferFailed(unsigned int code)
{
    QMetaObject::invokeMethod(
        m_context, [target = m_target, batch = m_batch, code] { target->batchFailed(batch, code); },
        Qt::QueuedConnection);
}
