#pragma once

// One operation per method of the panel's file service. Each takes the
// caller's call object, writes its arguments, waits for the reply and reads
// the typed result. Nothing is caught: the framework's exceptions and
// ("GeneratedUnpack", "deserialize failed") reach the caller.

#include "framework/utils/fftypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace FF {
namespace RPC {
class SyncProxy;
}
} // namespace FF

namespace FileServiceCalls {

using Proxy = FF::RPC::SyncProxy;
using Bytes = std::vector<FF::byte>;

// PC to panel, user area.
FF::Handle createDownloader2(Proxy& proxy);
// The resume offset the panel holds; all bits set: refused.
unsigned long long startDownload2(Proxy& proxy, FF::Handle handle, const std::string& path, unsigned long long size);
bool download2(Proxy& proxy, FF::Handle handle, unsigned long long offset, const Bytes& data);
void finishDownload2(Proxy& proxy, FF::Handle handle);
void destroyDownloader2(Proxy& proxy, FF::Handle handle);

// PC to panel, USB disk.
FF::Handle createUDiskDownloader(Proxy& proxy);
unsigned long long startUDiskDownload(Proxy& proxy, FF::Handle handle, const std::string& path,
                                      unsigned long long size);
bool UDiskdownload(Proxy& proxy, FF::Handle handle, unsigned long long offset, const Bytes& data);
void finishUDiskDownload(Proxy& proxy, FF::Handle handle);
void destroyUDiskDownloader(Proxy& proxy, FF::Handle handle);

// Panel to PC.
FF::Handle createUpdater2(Proxy& proxy);
// The source's size; all bits set: refused.
unsigned long long startUpdate2(Proxy& proxy, FF::Handle handle, const std::string& path);
// The next piece from offset; empty: nothing more.
Bytes update2(Proxy& proxy, FF::Handle handle, unsigned long long offset);
void finishUpdate2(Proxy& proxy, FF::Handle handle);
void destroyUpdater2(Proxy& proxy, FF::Handle handle);

// Digests of a byte range of a panel file.
unsigned int getFileCRC32(Proxy& proxy, const std::string& path, unsigned long long start, unsigned long long length);
Bytes getFileMD5(Proxy& proxy, const std::string& path, unsigned long long start, unsigned long long length);

// Free space.
unsigned long long getFreeDiskSize(Proxy& proxy, const std::string& path);
unsigned long long getDiskFreeSize(Proxy& proxy);

// Files and folders.
bool createFile(Proxy& proxy, const std::string& path);
bool createFolder(Proxy& proxy, const std::string& path);
bool createUDiskFile(Proxy& proxy, const std::string& path);
bool createUDiskFolder(Proxy& proxy, const std::string& path);
bool removeFileOrFolder(Proxy& proxy, const std::string& path);
bool renameFile(Proxy& proxy, const std::string& oldPath, const std::string& newPath);
bool hasFileOrFolder(Proxy& proxy, const std::string& path);
bool isFile(Proxy& proxy, const std::string& path);
unsigned long long getFileSize(Proxy& proxy, const std::string& path);
// Seconds since 1970-01-01 UTC.
long long getFileModifyTime(Proxy& proxy, const std::string& path);
std::string getEnvPath(Proxy& proxy, const std::string& name);
std::vector<std::string> searchFiles(Proxy& proxy, const std::string& folder);
std::vector<std::string> searchFolders(Proxy& proxy, const std::string& folder);

// The panel's project password; digest is the lower-case hex MD5 of the password.
bool projectHasPassword(Proxy& proxy);
bool projectCheckPassword(Proxy& proxy, const std::string& digest);

} // namespace FileServiceCalls
