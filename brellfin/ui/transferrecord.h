// A queued transfer of a batch and the queue command not yet answered.
#pragma once

#include <QString>

using CString = QString;

struct TransferRecord {
    CString name;
    CString localPath;
    // A real panel path under "/storage/user_dir" or "/media/usb".
    CString remotePath;
    // "42%", "100%".
    CString progress;
    // 0 ready, 1 ongoing, 2 paused, 3 completed.
    int state = 0;
    // 0 upload (panel to PC), 1 download (PC to panel).
    int operation = 0;
};

enum PendingAction { PendingNone = 0, PendingPause = 1, PendingContinue = 2, PendingDelete = 3, PendingDeleteAll = 4 };
