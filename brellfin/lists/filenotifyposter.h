#pragma once

// Carries a batch's notifications from its transfer thread to the list that
// started it: every call is posted, in order, to the list's GUI thread and
// never waits there. Posts that reach a destroyed list are dropped with it.

#include "brellfin/service/ifilenotify.h"

#include <string>

class QObject;

// The list side of a batch's notifications, called on the GUI thread with
// the number of the batch they belong to.
class BatchNotifyTarget {
public:
    virtual ~BatchNotifyTarget() = default;
    virtual void batchStarted(int batch, const std::string& localPath) = 0;
    virtual void batchProgress(int batch, const std::string& localPath, double fraction) = 0;
    virtual void batchFileDone(int batch, const std::string& localPath) = 0;
    virtual void batchAllDone(int batch) = 0;
    virtual void batchFailed(int batch, unsigned int code) = 0;
};

class FileNotifyPoster : public IFileNotify {
public:
    // context: the object whose thread runs target's calls and whose end
    // drops the calls still pending (the list itself).
    FileNotifyPoster(QObject* context, BatchNotifyTarget* target, int batch);

    int batch() const { return m_batch; }

    void onTransferStarted(const std::string& localPath) override;
    void onTransferProgress(const std::string& localPath, double fraction) override;
    void onTransferFileDone(const std::string& localPath) override;
    void onTransferAllDone() override;
    void onTransferFailed(unsigned int code) override;

private:
    QObject* m_context;
    BatchNotifyTarget* m_target;
    const int m_batch;
};
