// A fresh folder under the temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "skerrow-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        // remove_all removes symbolic links themselves and never follows them.
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool valid() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Runs the test body inside a folder and returns to the old current directory afterwards.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& path)
        : m_old(std::filesystem::current_path())
    {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory()
    {
        std::error_code ignored;
        std::filesystem::current_path(m_old, ignored);
    }

private:
    std::filesystem::path m_old;
};

inline void writeFile(const std::string& path, const std::string& content = "x")
{
    std::ofstream(path) << content;
}

inline bool exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}
