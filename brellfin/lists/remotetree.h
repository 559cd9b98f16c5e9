#pragma once

// Walks over the panel's folders for the remote list: the files below a
// folder, a folder's removal, and the folder levels of a batch's targets.
// Names the panel lists are taken only when they are plain names, and no walk
// goes deeper than kMaxRemoteDepth levels (a link loop on the panel has no end).

#include <set>
#include <string>
#include <vector>

class FileServiceClient;

namespace RemoteTree {

constexpr int kMaxRemoteDepth = 64;

// A plain name: not empty, not "." or "..", without "/" or a zero byte.
bool isPlainName(const std::string& name);

struct Collected {
    // Full panel paths, a folder's own files before those of its sub-folders.
    std::vector<std::string> files;
    // Panel paths built from names that are not plain; they are left out.
    std::vector<std::string> rejected;
    // False when the walk reached the depth limit somewhere, or stopped at a
    // listing that the panel did not answer (unanswered then true).
    bool complete = true;
    bool unanswered = false;
};

// Appends every file below folder to out; stops at the first listing that
// fails.
void collectRemoteFiles(FileServiceClient& fs, const std::string& folder, Collected& out);

// Removes path: its files, its sub-folders depth first, then itself. True
// when that last removal succeeded; false (and path kept) when the walk
// reached the depth limit below it.
bool deleteRemoteTree(FileServiceClient& fs, const std::string& path);

} // namespace RemoteTree

// The panel folders a PC-to-panel batch needs: every level of a target's
// folder is asked for once per batch, the empty path never.
class RemoteFolderLevels {
public:
    // Asks the panel for each folder level of remoteFilePath not asked for
    // yet (its last component, the file's name, is none).
    void createRemoteFolders(FileServiceClient& fs, const std::string& remoteFilePath);
    void reset() { m_asked.clear(); }

private:
    std::set<std::string> m_asked;
};
