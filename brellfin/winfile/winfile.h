#pragma once

// The Windows file functions of the tool's local list, over POSIX. Paths are
// wide text (QString) with "/" separators. A symbolic link is the shortcut:
// delete, remove, copy and rename act on the link itself and never on what
// it names; only a link to a regular file counts as a file.

#include <QString>

#include <cstdint>
#include <functional>

using BOOL = int;
using DWORD = std::uint32_t;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
// Anything that is neither a regular file, a folder nor a link to a regular
// file: FIFOs, sockets, devices, links to folders and dangling links.
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// The attribute bits of path (the link itself for a link, its target's
// owner-write bit for a link to a regular file); FILE_ATTRIBUTE_NORMAL when
// no other bit applies; INVALID_FILE_ATTRIBUTES when path names nothing.
DWORD GetFileAttributesW(const QString& path);
// FILE_ATTRIBUTE_READONLY takes the write bits off a regular file, any other
// value gives the owner write back; links and other entries are left alone.
BOOL SetFileAttributesW(const QString& path, DWORD attributes);
// True when path names anything, a dangling link too (never followed).
BOOL PathFileExistsW(const QString& path);
// Makes one folder; fails when anything exists at path.
BOOL CreateDirectoryW(const QString& path);
// A link is copied as a link with the same target; a regular file byte for
// byte with its permission bits; anything else is refused. With
// failIfExists an existing target (a dangling link too) is refused;
// otherwise a file or link at the target is replaced, a folder never.
BOOL CopyFileW(const QString& from, const QString& to, BOOL failIfExists);
// Removes a file or a link (never what the link names); never a folder.
BOOL DeleteFileW(const QString& path);
// Removes an empty folder; never a link to one.
BOOL RemoveDirectoryW(const QString& path);
// Renames without ever replacing: 0 on success, -1 when newPath exists
// (also when it appears between a caller's check and the call) or the
// rename fails.
int _wrename(const QString& oldPath, const QString& newPath);
// For tests: runs inside every _wrename just before the rename itself, so a
// test can make the target appear after its caller's existence check. An
// empty function removes it.
void setBeforeRenameForTesting(std::function<void(const QString& oldPath, const QString& newPath)> hook);
