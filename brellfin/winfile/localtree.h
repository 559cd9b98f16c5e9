#pragma once

// Whole-folder operations of the tool's local list on top of the Windows file
// functions: copy, delete and the collection of files to send. None of them
// descends a symbolic link: a link is copied or removed as a link, so a link
// to another folder or a link loop never leads outside the tree.

#include <QString>
#include <QStringList>

namespace LocalTree {

// Copies the folder src to dst (made when nothing is there), entry by entry;
// failures of single entries are not looked at. 1 when it ran; 0 when src
// is empty or not a folder, or when dst is src itself or lies below it
// (such a copy would meet its own output while listing src).
int copyLocalTree(const QString& src, const QString& dst);

// True when path is folder itself or lies below it, by their real paths
// (path need not exist yet; its parent must).
bool isInsideFolder(const QString& path, const QString& folder);

// Empties and removes the folder path; read-only entries go too. 1 when
// path is gone, 0 when an entry could not be removed (the walk stops in
// that folder) or path is no folder.
int deleteLocalTree(const QString& path);

// Appends to files every regular file and every link to one below folder,
// depth first in name order; sub-folders that are hidden, read-only, system
// or temporary are left out, and so are FIFOs, sockets, devices and links
// to anything but a regular file.
void collectLocalFiles(const QString& folder, QStringList& files);

} // namespace LocalTree
