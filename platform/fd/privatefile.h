#pragma once

// Replacing a private file (a key, a password, a daemon's state) so that a
// reader, also after a power cut, finds either the old contents whole or the
// new ones whole, never a cut or empty file, and nobody but the owner can
// read it at any moment.

#include <cstddef>
#include <string>

namespace platform {

// Makes `bytes` the contents of `path`, mode 0600. They go to a new
// temporary file beside it (made with O_EXCL, 0600 from the start), are
// written in full and synced to the disk; the temporary then replaces `path`
// in one rename (a link planted at `path` is replaced, never followed) and
// the folder is synced, so the rename itself outlives a power cut.
// On any failure before the rename the temporary is removed and `path` stays
// as it was. False with errno set on failure; when only the folder's sync
// fails, the new contents are in place but may not outlive a power cut.
bool writePrivateFile(const std::string& path, const void* bytes, std::size_t size);

inline bool writePrivateFile(const std::string& path, const std::string& bytes)
{
    return writePrivateFile(path, bytes.data(), bytes.size());
}

} // namespace platform
