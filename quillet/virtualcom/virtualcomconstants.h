#pragma once

// The setup program of the virtual port pair as Quillet runs it: where it
// lives, its commands and the limits Quillet puts on it.

namespace VirtualComConst {

// Beside Quillet's own program.
constexpr const char* kToolFolder64 = "virtualcom/x64/";
constexpr const char* kToolFolder86 = "virtualcom/x86/";
constexpr const char* kToolName = "setupc.exe";

// Commands, one argument per word.
constexpr const char* kListCommand = "list";
constexpr const char* kBusyNamesCommand = "busynames COM?*";
constexpr const char* kPreinstallCommand = "preinstall";
constexpr const char* kUpdateCommand = "update";
constexpr const char* kUninstallCommand = "--silent uninstall";
constexpr const char* kInstallCommand = "--silent install";
constexpr const char* kOwnEndParameters = ",EmuOverrun=yes,HiddenMode=yes";
constexpr const char* kUserEndParameters = "PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,AddRITO=400";
constexpr const char* kChangeCommand = "change CNCB0";
constexpr const char* kRealPortNamePrefix = "RealPortName=";

// The list output.
constexpr const char* kPortNameKey = "PortName";
constexpr const char* kRealPortNameKey = "RealPortName";
constexpr const char* kAutoPortName = "COM#";

// What the tool prints when a rename needs a restart.
constexpr const char* kTryAgain = "Try Again";
constexpr const char* kReboot = "reboot";

// A tool that has not finished by then is killed (with whatever it started)
// and its output dropped.
constexpr int kToolTimeoutMs = 60000;

// Port numbers for a new pair.
constexpr int kFirstCandidate = 2;
constexpr int kLastCandidate = 101;
constexpr int kVerifyTries = 3;
constexpr int kVerifyPauseMs = 5000;

} // namespace VirtualComConst
