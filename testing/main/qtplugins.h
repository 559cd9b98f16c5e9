#pragma once

// Where the test programs of the ThreadSanitizer tree look for Qt's plugins.

#ifdef __SANITIZE_THREAD__
namespace TestMain {

// Points Qt at a folder of the program's own that holds every kind of Qt's
// plugins but the bearer plugins (see test_main.cpp). The test main calls it
// before its application exists; a test that makes an application of its own
// calls it again once it has made it, since Qt forgets the paths when an
// application ends.
void withoutBearerPlugins();

} // namespace TestMain
#endif
