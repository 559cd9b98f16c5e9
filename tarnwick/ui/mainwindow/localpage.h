#pragma once

// The main window's page 2, the local debugging page, or its stand-in where
// the build does not have the page.

#if __has_include("tarnwick/ui/localdebugview.h")
#include "tarnwick/ui/localdebugview.h"
using LocalPage = LocalDebugView;
#define TARNWICK_HAS_LOCAL_DEBUG_VIEW 1
#else
#include "tarnwick/ui/mainwindow/localpageplaceholder.h"
using LocalPage = LocalPagePlaceholder;
#define TARNWICK_HAS_LOCAL_DEBUG_VIEW 0
#endif
