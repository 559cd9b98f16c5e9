#include "testing/serialpair/tempcomfolder.h"

#include "platform/serial/serialportname.h"

#include <cstdlib>
#include <unistd.h>

namespace SerialTesting {

TempComFolder::TempComFolder()
{
    if (const char* old = std::getenv(Serial::kComDirVariable)) {
        m_hadPrevious = true;
        m_previous = old;
    }
    setenv(Serial::kComDirVariable, path().c_str(), 1);
}

TempComFolder::~TempComFolder()
{
    if (m_hadPrevious)
        setenv(Serial::kComDirVariable, m_previous.c_str(), 1);
    else
        unsetenv(Serial::kComDirVariable);
}

bool TempComFolder::link(const std::string& name, const std::string& target) const
{
    const std::string entry = m_folder / name;
    ::unlink(entry.c_str());
    return symlink(target.c_str(), entry.c_str()) == 0;
}

void TempComFolder::unlink(const std::string& name) const
{
    ::unlink((m_folder / name).c_str());
}

} // namespace SerialTesting
