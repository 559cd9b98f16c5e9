#pragma once

// A Quillet window in the test process against the fake pass-through panel
// and the stand-in virtual pair in folders of its own; timings shortened.

#include "quillet/app/mainwindow.h"
#include "quillet/virtualcom/virtualcom.h"
#include "testing/fakepassthrough/fakepassthroughpanel.h"
#include "testing/fakepassthrough/modalanswerer.h"
#include "testing/main/tempfolder.h"
#include "testing/vcomharness/setupcharness.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QuilletProgram : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs the pair own COM3, user COM2 with the stand-in tool.
    void installPair();
    // The window, driving the pair through the logging tool folder; a tool
    // run longer than toolTimeoutMs is killed.
    void makeWindow(int toolTimeoutMs = 60000);
    // From now on the tool's "list" hangs (until killed at the limit), or no longer.
    void setListHangs(bool hangs);
    // The tool runs seen by the logging folder, one line of arguments each.
    std::string toolCalls() const;

    QString status() const;
    // The status colour: 1 green, 0 red, -1 neither.
    int statusColour() const;
    // Processes events until condition holds; false at the limit.
    static bool spin(int ms, const std::function<bool()>& condition);
    // QCoreApplication::exit() outside the application's own loop stays in
    // force, and every later dialog's exec() would return at once; the
    // application's loop, run for one round, clears it.
    static void clearExit();

    std::unique_ptr<Fake::FakePassThroughPanel> panel;
    std::unique_ptr<VcomTesting::SetupcHarness> tool;
    std::unique_ptr<TestFolder::TempFolder> m_loggingFolder;
    std::string loggingFolder; // m_loggingFolder's path
    std::unique_ptr<VirtualCom> pair;
    std::unique_ptr<MainWindow> window;
};
