#pragma once

// Conversions between the panel's real paths and the short forms that the
// remote pane shows (the user area as "/", the USB disk without its mount
// prefix), frame titles and the check of a typed remote path.

#include <QString>

using CString = QString;

CString toShownPath(const CString& realPath);
CString toRealPath(const CString& shownPath);
// The caption of the remote frame for a folder; rootText is the remote list's root.
CString folderTitle(const CString& realPath, const CString& rootText);
// What the log (and a box) says of a panel path that the panel could not be
// asked about: its shown form and why nothing was done with it.
CString uncheckedPathText(const CString& realPath);
// More than 30 characters: the first 30 and ". . .".
CString shortenForDisplay(const CString& text);
// Normalises the separators of text in place ("\" to "/", runs of "/" to
// one); false when it then climbs or names "." or "..".
bool isValidRemotePath(CString& text);
// True for a dotted IPv4 address of four decimal parts 0-255.
bool isDottedQuad(const CString& text);
