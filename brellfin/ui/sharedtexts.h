#pragma once

// Texts shared across the tool: the queue's error, state and direction
// words (loaded once at start-up, in the start-up language), the panel's two
// roots with their display names, and the file service's port.

#include <QString>

using CString = QString;

// Index: the transfer error code 0..5 (network, file, check, interrupt, stop, disk shortage).
extern CString g_errorText[6];
// Index: the queue state 0..4 (ready, ongoing, paused, completed, not checked).
extern CString g_stateText[5];
// 0 upload (panel to PC), 1 download (PC to panel).
extern CString g_directionText[2];

extern const CString g_userDirRoot;
extern const CString g_usbRoot;
extern const CString g_rootPath;
extern const CString g_userAreaTitle;
extern const CString g_usbTitle;
extern const CString g_fileServicePort;

// Loads the words above from the string table; called once before any window exists.
void loadSharedTexts();
