#pragma once

// Menus, commands, string ids and limits of the two file lists, in one place.

namespace BrellfinLists {

// Context menus: on an item, and on the empty area of a list.
constexpr unsigned kItemMenu = 131;
constexpr unsigned kAreaMenu = 143;

constexpr unsigned kCmdTransport = 32782;
constexpr unsigned kCmdCopy = 32778;
constexpr unsigned kCmdPaste = 32779;
constexpr unsigned kCmdRename = 32780;
constexpr unsigned kCmdDelete = 32781;
constexpr unsigned kCmdNewFolder = 32793;
constexpr unsigned kCmdNewFile = 32794;
constexpr unsigned kCmdRefresh = 32795;
constexpr unsigned kCmdSelectAll = 32796;
constexpr unsigned kCmdAreaPaste = 32799;

// The in-place editor's control id.
constexpr int kEditorId = 3000;

// Dialog items the lists reach.
constexpr int kIdLocalPathBox = 1001;
constexpr int kIdRemoteFrame = 1012;
constexpr int kIdRemoteList = 1014;
constexpr int kIdLocalList = 1037;
constexpr int kIdLocalTitle = 1056;

// The fixed name of a new file, in every language.
constexpr const char* kNewFileName = "New File";
// The shortcut's Type text that counts whatever the language.
constexpr const char* kChineseShortcutType = "快捷方式";
// Printed when a folder level of a batch cannot be made.
constexpr const char* kFolderFailedText = "creat target dir failed!";

} // namespace BrellfinLists
