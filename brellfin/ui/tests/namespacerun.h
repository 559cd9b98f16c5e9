#pragma once

// Runs a test inside a user and network namespace of its own, where
// 127.0.0.1 (and any address the test adds to lo) belongs to the test alone,
// so a fake can listen on a panel's fixed port beside every other test.
// The test runs itself again under `unshare -Urn` (or `unshare -n` where
// user namespaces are refused); where neither works it is skipped, with the
// reason, before anything connects.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

namespace BrellfinTest {

// True in the run that the namespace holds.
bool insideNamespace();

// The unshare options that make a namespace here: a user and network
// namespace, or a network namespace of root's. Empty, with why set, when
// neither works. Probed once per program.
QStringList namespaceOptions(QString* why);

// Outside: runs the current test again inside a fresh namespace made with
// options, reports its outcome as this test's, and returns false. Inside:
// brings lo up with the addresses given ("200.200.201.1/32") and returns
// true when the test may go on.
bool enterNamespace(const QStringList& options, const QStringList& addresses);

} // namespace BrellfinTest

// First statement of a test body: skips where no namespace can be made,
// returns in the outer run, goes on inside. The arguments are the extra
// addresses of lo, as for enterNamespace.
#define TWBF_IN_NAMESPACE(...)                                                                                         \
    do {                                                                                                               \
        QStringList twbfOptions;                                                                                       \
        if (!BrellfinTest::insideNamespace()) {                                                                        \
            QString twbfWhy;                                                                                           \
            twbfOptions = BrellfinTest::namespaceOptions(&twbfWhy);                                                    \
            if (twbfOptions.isEmpty())                                                                                 \
                GTEST_SKIP() << twbfWhy.toStdString();                                                                 \
        }                                                                                                              \
        if (!BrellfinTest::enterNamespace(twbfOptions, QStringList{__VA_ARGS__}))                                      \
            return;                                                                                                    \
    } while (0)
