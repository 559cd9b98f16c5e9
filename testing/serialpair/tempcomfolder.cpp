#include "testing/serialpair/tempcomfolder.h"

#include "platform/serial/serialportname.h"

#include <cstdlib>
#include <dirent.h>
#include <stdexcept>
#include <unistd.h>

namespace SerialTesting {

TempComFolder::TempComFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/comfolder-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    if (const char* old = std::getenv(Serial::kComDirVariable)) {
        m_hadPrevious = true;
        m_previous = old;
    }
    setenv(Serial::kComDirVariable, m_path.c_str(), 1);
}

TempComFolder::~TempComFolder()
{
    if (DIR* dir = opendir(m_path.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                ::unlink((m_path + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(m_path.c_str());
    if (m_hadPrevious)
        setenv(Serial::kComDirVariable, m_previous.c_str(), 1);
    else
        unsetenv(Serial::kComDirVariable);
}

bool TempComFolder::link(const std::string& name, const std::string& target) const
{
    const std::string entry = m_path + "/" + name;
    ::unlink(entry.c_str());
    return symlink(target.c_str(), entry.c_str()) == 0;
}

void TempComFolder::unlink(const std::string& name) const
{
    ::unlink((m_path + "/" + name).c_str());
}

} // namespace SerialTesting
