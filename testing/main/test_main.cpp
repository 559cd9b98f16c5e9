// The main of every test program: headless Qt, no proxy, sanitizer defaults.

#include <gtest/gtest.h>

#include <cstdlib>

#if TW_TEST_APP == 1
#include <QCoreApplication>
#elif TW_TEST_APP == 2
#include <QApplication>
#endif

// Qt's platform plugins, fontconfig and libdbus keep caches for the life of
// the process on purpose; those are not our leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libqxcb.so\n"
           "leak:libQt5XcbQpa.so\n"
           "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n";
}

extern "C" const char* __asan_default_options()
{
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=0";
}

extern "C" const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Tests talk to loopback only; a proxy in the environment must not reroute them.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
    ::testing::InitGoogleTest(&argc, argv);
#if TW_TEST_APP == 1
    QCoreApplication app(argc, argv);
#elif TW_TEST_APP == 2
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
