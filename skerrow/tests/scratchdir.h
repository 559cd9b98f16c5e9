#pragma once

// Folders and files for the directory tests; the folders themselves are
// testing/main/tempfolder.h's.

#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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
