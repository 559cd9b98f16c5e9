#pragma once

// Why a transfer batch stopped; the code indexes the transfer error words
// (kErrorWordIds of the tool's texts).

enum TransferError : unsigned int {
    NetworkError = 0,      // a call failed by exception; never set explicitly
    FileError = 1,         // local file, local digest, or a refused start or piece
    CheckError = 2,        // the MD5 digests still differ after the one full retry
    InterruptError = 3,    // cancelled
    StopError = 4,         // never set by the transfer threads
    DiskShortageError = 5, // the panel's free space check failed
};
