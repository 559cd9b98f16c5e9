#pragma once

// Gives a test process folders of its own: XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_RUNTIME_DIR point into one temporary folder, which is also made the
// working folder (so "data/..." names land there). Call it before anything
// creates the settings or the device store; the folder outlives them.

#include <QString>

QString useTemporaryHome();
