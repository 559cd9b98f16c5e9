// The main of every test program: headless Qt, no proxy, a home of its own,
// sanitizer defaults.

#include "testing/main/qtleaks.h"
#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#if TW_TEST_APP == 1
#include <QCoreApplication>
#elif TW_TEST_APP == 2
#include <QApplication>
#endif

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

// The table of suppressions used would follow every program's listing of its
// tests in the build's output; a leak of ours is reported in full either way.
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

extern "C" const char* __asan_default_options()
{
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=0";
}

extern "C" const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// A race report fails the test (exit code 66) after it has run to its end;
// both stacks of a lock-order report are shown; the suppressions file names
// what of Qt's own is not reported, and what the sanitizer does not see.
extern "C" const char* __tsan_default_options()
{
    return "halt_on_error=0:exitcode=66:second_deadlock_stack=1"
#ifdef TW_TSAN_SUPPRESSIONS
           ":suppressions='" TW_TSAN_SUPPRESSIONS "'"
#endif
        ;
}

namespace {

TestFolder::TempFolder* g_home = nullptr;
pid_t g_homeOwner = 0;

// Removes the home at exit, after the singletons made during the run have
// written their last state into it; a forked child that exits leaves it.
void removeHome()
{
    if (g_home == nullptr || ::getpid() != g_homeOwner)
        return;
    delete g_home;
    g_home = nullptr;
}

// Points HOME and the XDG folders into a fresh temporary folder, so that no
// test reads or writes the files of whoever runs it (Qt's file dialogs keep
// their history and last folder in ~/.config/QtProject.conf) and no run
// starts from what an earlier one left. Programs the tests start inherit it.
void useOwnHome()
{
    try {
        g_home = new TestFolder::TempFolder("tw-home");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "test main: no home of its own: %s\n", error.what());
        std::exit(1);
    }
    g_homeOwner = ::getpid();
    std::atexit(removeHome);
    static const struct {
        const char* variable;
        const char* folder;
    } kFolders[] = {{"HOME", ""},
                    {"XDG_CONFIG_HOME", "/.config"},
                    {"XDG_DATA_HOME", "/.local/share"},
                    {"XDG_STATE_HOME", "/.local/state"},
                    {"XDG_CACHE_HOME", "/.cache"},
                    {"XDG_RUNTIME_DIR", "/runtime"}};
    for (const auto& entry : kFolders) {
        const std::string folder = g_home->path() + entry.folder;
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        // The runtime folder must be the user's alone, or Qt refuses it.
        ::chmod(folder.c_str(), 0700);
        ::setenv(entry.variable, folder.c_str(), 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // First, so that the home outlives every singleton made afterwards.
    useOwnHome();
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
