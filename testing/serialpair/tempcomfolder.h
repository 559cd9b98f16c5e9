#pragma once

// A fresh private COM folder for one test: made under the temporary folder,
// announced through TW_COM_DIR, removed with everything in it afterwards.

#include "testing/main/tempfolder.h"

#include <string>

namespace SerialTesting {

class TempComFolder {
public:
    TempComFolder();
    ~TempComFolder();
    TempComFolder(const TempComFolder&) = delete;
    TempComFolder& operator=(const TempComFolder&) = delete;

    const std::string& path() const { return m_folder.path(); }
    // Links folder/name to target, replacing an earlier entry.
    bool link(const std::string& name, const std::string& target) const;
    void unlink(const std::string& name) const;

private:
    TestFolder::TempFolder m_folder{"comfolder"};
    std::string m_previous;
    bool m_hadPrevious = false;
};

} // namespace SerialTesting
