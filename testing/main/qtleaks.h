#pragma once

// What Qt's platform plugins and the libraries under them (xcb, X11,
// fontconfig, D-Bus, glib) keep for the life of the process on purpose:
// not our leaks. Every program of the tests and benches hands this to the
// leak check from its own definition of __lsan_default_suppressions:
//
//   extern "C" const char* __lsan_default_suppressions() { return TestLeaks::qtLibraries(); }

namespace TestLeaks {

inline const char* qtLibraries()
{
    return "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libqxcb.so\n"
           "leak:libQt5XcbQpa.so\n"
           "leak:libxcb\n"
           "leak:libX11.so\n"
           "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n";
}

} // namespace TestLeaks
