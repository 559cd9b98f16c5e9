#include "brellfin/lists/remotetree.h"

#include "brellfin/service/fileserviceclient.h"

#include <cstdio>

namespace RemoteTree {

namespace {

void collect(FileServiceClient& fs, const std::string& folder, Collected& out, int depth)
{
    if (depth >= kMaxRemoteDepth) {
        out.complete = false;
        return;
    }
    // A listing the panel did not answer is no empty folder: the walk stops
    // short rather than leave that folder's files out unseen.
    std::vector<std::string> names;
    if (!fs.searchFiles(folder, names)) {
        out.complete = false;
        out.unanswered = true;
        return;
    }
    for (const std::string& name : names) {
        if (isPlainName(name))
            out.files.push_back(folder + "/" + name);
        else
            out.rejected.push_back(folder + "/" + name);
    }
    names.clear();
    if (!fs.searchFolders(folder, names)) {
        out.complete = false;
        out.unanswered = true;
        return;
    }
    for (const std::string& name : names) {
        if (out.unanswered)
            return;
        if (isPlainName(name))
            collect(fs, folder + "/" + name, out, depth + 1);
        else
            out.rejected.push_back(folder + "/" + name);
    }
}

// False when the depth limit was reached below path (nothing of path's own
// level is then removed).
bool remove(FileServiceClient& fs, const std::string& path, int depth)
{
    if (depth >= kMaxRemoteDepth)
        return false;
    std::vector<std::string> names;
    fs.searchFiles(path, names);
    for (const std::string& name : names)
        if (isPlainName(name))
            fs.removeFileOrFolder(path + "/" + name);
    names.clear();
    fs.searchFolders(path, names);
    for (const std::string& name : names)
        if (isPlainName(name) && !remove(fs, path + "/" + name, depth + 1))
            return false;
    return fs.removeFileOrFolder(path);
}

} // namespace

bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
           && name.find('\0') == std::string::npos;
}

void collectRemoteFiles(FileServiceClient& fs, const std::string& folder, Collected& out)
{
    collect(fs, folder, out, 0);
}

bool deleteRemoteTree(FileServiceClient& fs, const std::string& path)
{
    return remove(fs, path, 0);
}

} // namespace RemoteTree

void RemoteFolderLevels::createRemoteFolders(FileServiceClient& fs, const std::string& remoteFilePath)
{
    for (size_t slash = remoteFilePath.find('/'); slash != std::string::npos;
         slash = remoteFilePath.find('/', slash + 1)) {
        const std::string level = remoteFilePath.substr(0, slash);
        if (level.empty() || !m_asked.insert(level).second)
            continue;
        if (!fs.createFolder(level))
            std::fputs("creat target dir failed!", stdout);
    }
}
