#include "brellfin/service/fileservicecalls.h"

#include "framework/rpc/typedcall.h"

namespace FileServiceCalls {

namespace {

using FF::Handle;
using Path = FF::utils::String;
using Names = std::vector<FF::String>;
using U64 = unsigned long long;

std::vector<std::string> toStd(const Names& names)
{
    return std::vector<std::string>(names.begin(), names.end());
}

// The file service's calls set no time-out: each waits for the proxy's
// default. Result void leaves the reply unread.
template <class Result, class... Args>
Result call(Proxy& proxy, const char* method, const Args&... args)
{
    return FF::RPC::call<Result>(proxy, FF::RPC::kProxyDefaultTimeOut, method, args...);
}

} // namespace

Handle createDownloader2(Proxy& proxy)
{
    return call<Handle>(proxy, "createDownloader2");
}

U64 startDownload2(Proxy& proxy, Handle handle, const std::string& path, U64 size)
{
    return call<U64>(proxy, "startDownload2", handle, Path(path), size);
}

bool download2(Proxy& proxy, Handle handle, U64 offset, const Bytes& data)
{
    return call<bool>(proxy, "download2", handle, offset, data);
}

void finishDownload2(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "finishDownload2", handle);
}

void destroyDownloader2(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "destroyDownloader2", handle);
}

Handle createUDiskDownloader(Proxy& proxy)
{
    return call<Handle>(proxy, "createUDiskDownloader");
}

U64 startUDiskDownload(Proxy& proxy, Handle handle, const std::string& path, U64 size)
{
    return call<U64>(proxy, "startUDiskDownload", handle, Path(path), size);
}

bool UDiskdownload(Proxy& proxy, Handle handle, U64 offset, const Bytes& data)
{
    return call<bool>(proxy, "UDiskdownload", handle, offset, data);
}

void finishUDiskDownload(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "finishUDiskDownload", handle);
}

void destroyUDiskDownloader(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "destroyUDiskDownloader", handle);
}

Handle createUpdater2(Proxy& proxy)
{
    return call<Handle>(proxy, "createUpdater2");
}

U64 startUpdate2(Proxy& proxy, Handle handle, const std::string& path)
{
    return call<U64>(proxy, "startUpdate2", handle, Path(path));
}

Bytes update2(Proxy& proxy, Handle handle, U64 offset)
{
    return call<Bytes>(proxy, "update2", handle, offset);
}

void finishUpdate2(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "finishUpdate2", handle);
}

void destroyUpdater2(Proxy& proxy, Handle handle)
{
    call<void>(proxy, "destroyUpdater2", handle);
}

unsigned int getFileCRC32(Proxy& proxy, const std::string& path, U64 start, U64 length)
{
    return call<unsigned int>(proxy, "getFileCRC32", Path(path), start, length);
}

Bytes getFileMD5(Proxy& proxy, const std::string& path, U64 start, U64 length)
{
    return call<Bytes>(proxy, "getFileMD5", Path(path), start, length);
}

U64 getFreeDiskSize(Proxy& proxy, const std::string& path)
{
    return call<U64>(proxy, "getFreeDiskSize", Path(path));
}

U64 getDiskFreeSize(Proxy& proxy)
{
    return call<U64>(proxy, "getDiskFreeSize");
}

bool createFile(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "createFile", Path(path));
}

bool createFolder(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "createFolder", Path(path));
}

bool createUDiskFile(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "createUDiskFile", Path(path));
}

bool createUDiskFolder(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "createUDiskFolder", Path(path));
}

bool removeFileOrFolder(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "removeFileOrFolder", Path(path));
}

bool renameFile(Proxy& proxy, const std::string& oldPath, const std::string& newPath)
{
    return call<bool>(proxy, "renameFile", Path(oldPath), Path(newPath));
}

bool hasFileOrFolder(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "hasFileOrFolder", Path(path));
}

bool isFile(Proxy& proxy, const std::string& path)
{
    return call<bool>(proxy, "isFile", Path(path));
}

U64 getFileSize(Proxy& proxy, const std::string& path)
{
    return call<U64>(proxy, "getFileSize", Path(path));
}

long long getFileModifyTime(Proxy& proxy, const std::string& path)
{
    return call<long long>(proxy, "getFileModifyTime", Path(path));
}

std::string getEnvPath(Proxy& proxy, const std::string& name)
{
    return call<Path>(proxy, "getEnvPath", Path(name));
}

std::vector<std::string> searchFiles(Proxy& proxy, const std::string& folder)
{
    return toStd(call<Names>(proxy, "searchFiles", Path(folder)));
}

std::vector<std::string> searchFolders(Proxy& proxy, const std::string& folder)
{
    return toStd(call<Names>(proxy, "searchFolders", Path(folder)));
}

bool projectHasPassword(Proxy& proxy)
{
    return call<bool>(proxy, "projectHasPassword");
}

bool projectCheckPassword(Proxy& proxy, const std::string& digest)
{
    return call<bool>(proxy, "projectCheckPassword", Path(digest));
}

} // namespace FileServiceCalls
