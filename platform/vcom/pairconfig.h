#pragma once

// The pair's configuration as the install command gave it: the items of the
// own end (CNCA0) and of the user's end (CNCB0), kept in the state folder as
// the list command prints them, one end per line.

#include <string>
#include <vector>

namespace Vcom {

class PairConfig {
public:
    // Reads "<id> <item>,<item>..." lines; false for anything else.
    bool parse(const std::string& text);
    std::string text() const;

    // Sets both ends from the install command's parameters; false (and an
    // explanation in *error) when they are refused.
    bool setFromInstall(const std::string& own, const std::string& user, std::string* error);

    // The own end's COM name.
    std::string ownName() const;
    // The user's end's COM name ("" while it has none).
    std::string userName() const;
    // Gives the user's end its name (RealPortName after PortName=COM#).
    void setUserName(const std::string& name);

    // The two list lines, each ended by "\n".
    std::string listText() const;

    const std::vector<std::string>& ownItems() const { return m_own; }
    const std::vector<std::string>& userItems() const { return m_user; }

private:
    std::vector<std::string> m_own;
    std::vector<std::string> m_user;
};

// "COM1" to "COM999": "COM", a digit 1-9, at most two more digits.
bool isPortName(const std::string& name);

// The value of the item "key=value" in items (key in any case), or "".
std::string itemValue(const std::vector<std::string>& items, const std::string& key);

} // namespace Vcom
