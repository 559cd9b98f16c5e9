#pragma once

// A fresh folder under the temporary directory ($TMPDIR or /tmp) for one test
// or one fake, removed with everything in it when the owner goes. Removal
// never follows a link (a link is removed, not what it points at) and opens
// folders that a test made read-only first, so nothing is left behind.
//
//   TestFolder::TempFolder folder("logger");
//   writeFile(folder / "log.txt");

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace TestFolder {

class TempFolder {
public:
    // `stem` names the folder (stem-XXXXXX) so a leftover shows its test.
    explicit TempFolder(const std::string& stem = "tw")
    {
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error)
            base = "/tmp";
        std::string pattern = (base / (stem + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder under " + base.string());
        m_path = pattern;
    }
    ~TempFolder() { remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

    // Removes the folder now (the destructor then has nothing left to do).
    void remove()
    {
        if (m_path.empty())
            return;
        namespace fs = std::filesystem;
        std::error_code ignored;
        ::chmod(m_path.c_str(), 0700);
        // The iterator does not descend through links to folders.
        for (fs::recursive_directory_iterator it(m_path, fs::directory_options::skip_permission_denied, ignored), end;
             it != end; it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                ::chmod(it->path().c_str(), 0700);
        }
        fs::remove_all(m_path, ignored);
        m_path.clear();
    }

private:
    std::string m_path;
};

} // namespace TestFolder
