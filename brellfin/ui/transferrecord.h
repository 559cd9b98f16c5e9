#pragma once

// A queued transfer of a batch and the queue command not yet answered.

#include <QString>

using CString = QString;

// A record's place in its batch; the value indexes the state words (kStateWordIds).
// Unchecked: the panel could not say whether the item's target exists, so it
// is not sent, not now and not by a later continue or delete.
enum class TransferState : int { Ready = 0, Ongoing = 1, Paused = 2, Completed = 3, Unchecked = 4 };
// The record's direction in the tool's words; the value indexes the direction
// words (kDirectionWordIds).
enum class TransferDirection : int {
    Upload = 0,  // panel to PC
    Download = 1 // PC to panel
};

struct TransferRecord {
    CString name;
    CString localPath;
    // A real panel path under "/storage/user_dir" or "/media/usb".
    CString remotePath;
    // "42%", "100%".
    CString progress;
    TransferState state = TransferState::Ready;
    TransferDirection operation = TransferDirection::Upload;
};

enum PendingAction { PendingNone = 0, PendingPause = 1, PendingContinue = 2, PendingDelete = 3, PendingDeleteAll = 4 };
