#pragma once

// The application: runs the main dialog modally and ends with it.

class CBrellfinApp {
public:
    CBrellfinApp();
    // Loads the shared texts, runs the main dialog; false: the process ends.
    bool InitInstance();

private:
    // Restart-manager support: restart only.
    unsigned m_restartManagerSupportFlags = 0;
};
