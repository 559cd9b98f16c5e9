#include "platform/vcom/pairconfig.h"

#include "platform/vcom/vcomconstants.h"

#include <cctype>
#include <sstream>
#include <strings.h>

namespace Vcom {

namespace {

bool isItemChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '=' || c == '#' || c == '.' || c == '_' || c == '-'
           || c == ':';
}

// Splits "a=1,b=2" into its items; false for an empty item or a bad character.
bool splitItems(const std::string& text, std::vector<std::string>* items)
{
    items->clear();
    std::string item;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ',') {
            if (item.empty() || item.find('=') == std::string::npos)
                return false;
            items->push_back(item);
            item.clear();
            continue;
        }
        if (!isItemChar(text[i]))
            return false;
        item.push_back(text[i]);
    }
    return !items->empty();
}

std::string join(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += ',';
        out += item;
    }
    return out;
}

std::string keyOf(const std::string& item)
{
    return item.substr(0, item.find('='));
}

bool sameKey(const std::string& item, const char* key)
{
    return strcasecmp(keyOf(item).c_str(), key) == 0;
}

} // namespace

bool isPortName(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0)
        return false;
    if (name[3] < '1' || name[3] > '9')
        return false;
    for (size_t i = 4; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

std::string itemValue(const std::vector<std::string>& items, const std::string& key)
{
    for (const std::string& item : items) {
        if (sameKey(item, key.c_str()))
            return item.substr(item.find('=') + 1);
    }
    return {};
}

bool PairConfig::setFromInstall(const std::string& own, const std::string& user, std::string* error)
{
    std::vector<std::string> ownItems;
    std::vector<std::string> userItems;
    if (!splitItems(own, &ownItems) || !splitItems(user, &userItems)) {
        *error = "Invalid parameters";
        return false;
    }
    if (!sameKey(ownItems.front(), kPortNameKey) || !sameKey(userItems.front(), kPortNameKey)) {
        *error = "The first parameter of each port must be PortName";
        return false;
    }
    const std::string ownPort = itemValue(ownItems, kPortNameKey);
    const std::string userPort = itemValue(userItems, kPortNameKey);
    if (!isPortName(ownPort)) {
        *error = "Invalid port name " + ownPort;
        return false;
    }
    if (userPort != kAutoPortName && !isPortName(userPort)) {
        *error = "Invalid port name " + userPort;
        return false;
    }
    if (userPort == ownPort || itemValue(userItems, kRealPortNameKey) == ownPort) {
        *error = "The port name " + ownPort + " is given twice";
        return false;
    }
    m_own = ownItems;
    m_user = userItems;
    return true;
}

bool PairConfig::parse(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> own;
    std::vector<std::string> user;
    int lines = 0;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const size_t space = line.find(' ');
        if (space == std::string::npos || ++lines > 2)
            return false;
        const std::string id = line.substr(0, space);
        std::vector<std::string>* target = id == kOwnEndId ? &own : id == kUserEndId ? &user : nullptr;
        if (!target || !target->empty() || !splitItems(line.substr(space + 1), target))
            return false;
    }
    if (own.empty() || user.empty() || !isPortName(itemValue(own, kPortNameKey)))
        return false;
    m_own = own;
    m_user = user;
    const std::string name = userName();
    return name.empty() || (isPortName(name) && name != ownName());
}

std::string PairConfig::text() const
{
    return std::string(kOwnEndId) + " " + join(m_own) + "\n" + kUserEndId + " " + join(m_user) + "\n";
}

std::string PairConfig::listText() const
{
    return std::string(kListIndent) + text().substr(0, text().find('\n') + 1) + kListIndent + kUserEndId + " "
           + join(m_user) + "\n";
}

std::string PairConfig::ownName() const
{
    return itemValue(m_own, kPortNameKey);
}

std::string PairConfig::userName() const
{
    const std::string name = itemValue(m_user, kPortNameKey);
    if (name != kAutoPortName)
        return name;
    return itemValue(m_user, kRealPortNameKey);
}

void PairConfig::setUserName(const std::string& name)
{
    const std::string item = std::string(kRealPortNameKey) + "=" + name;
    if (itemValue(m_user, kPortNameKey) != kAutoPortName) {
        m_user.front() = std::string(kPortNameKey) + "=" + name;
        return;
    }
    for (std::string& existing : m_user) {
        if (sameKey(existing, kRealPortNameKey)) {
            existing = item;
            return;
        }
    }
    m_user.insert(m_user.begin() + 1, item);
}

} // namespace Vcom
