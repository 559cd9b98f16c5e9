#pragma once

// Sizes, limits and fixed texts of the tool's file-service side, in one place.

#include <cstddef>
#include <cstdint>

namespace BrellfinService {

// The panel's file service listens here.
constexpr unsigned int kFileServicePort = 127;
// Window of the reachability probe before a session is made.
constexpr unsigned int kProbeWindowMs = 1000;
// The most bytes one PC-to-panel piece carries ("download2").
constexpr std::uint64_t kSendPieceSize = 4096;
// A panel-to-PC file resumes at a multiple of this many bytes: a partly
// fetched local file is cut down to it before its CRC-32 is compared.
constexpr std::uint64_t kResumeBlockSize = 4096;
// The local CRC-32 and MD5 of a file are read in blocks of this size.
constexpr std::uint64_t kLocalReadBlockSize = 4096;
// Room a PC-to-panel batch leaves free on the panel beyond its files.
constexpr std::uint64_t kSpaceReserve = 4194304;
// "All bits set": a refused start.
constexpr std::uint64_t kRefused = ~std::uint64_t(0);

// The panel's user area: paths under it use the user-area method set.
constexpr char kUserDirRoot[] = "/storage/user_dir";
constexpr std::size_t kUserDirRootLength = sizeof(kUserDirRoot) - 1;
// The free-space root of any other path: its first characters ("/media/usbN/").
constexpr int kOtherRootLength = 12;

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320;

// Progress of a file reaches IFileNotify at most once per this many
// milliseconds; its first and its last report always go out.
constexpr int kProgressIntervalMs = 50;
// A fetched file's pieces reach the disk in writes of this size (or when a
// progress report is due, which counts only stored bytes).
constexpr std::size_t kWriteBufferSize = 1024 * 1024;
// A file's MD5 is hashed in blocks of this size on a worker of idle
// priority; with more than this many blocks waiting for it, the transfer
// thread hashes them itself.
constexpr std::size_t kDigestBlockSize = 256 * 1024;
constexpr std::size_t kDigestBlocksBehind = 4;

// Letting a transfer thread go (a new batch, a released session) waits this
// long for it to end by itself; then it is cancelled and waited for up to
// one call's time-out (100 s) and some room to close its file. One that
// still runs is left running: it is never deleted while it runs.
constexpr int kThreadEndLimitMs = 30000;
constexpr int kThreadCancelLimitMs = 110000;

} // namespace BrellfinService
