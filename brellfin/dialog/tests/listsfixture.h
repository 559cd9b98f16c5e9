#pragma once

// The main dialog with its facade connected to a fake file service and a PC
// folder of the test's own.

#include "brellfin/dialog/tests/dialogfixture.h"

#include "brellfin/dialog/armfilelist.h"
#include "brellfin/dialog/winshelllist.h"
#include "brellfin/lists/listconstants.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// How the panel's existence check fails: the panel refuses it, or answers
// after the facade's call limit, which the test makes short.
enum class CheckFault { Refused, Unanswered };
inline std::string checkFaultName(const ::testing::TestParamInfo<CheckFault>& info)
{
    return info.param == CheckFault::Refused ? "Refused" : "Unanswered";
}
const auto kCheckFaults = ::testing::Values(CheckFault::Refused, CheckFault::Unanswered);

class ListsFixture : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        ASSERT_TRUE(m_pc.isValid());
        m_panel = std::make_unique<Fake::FakeFileService>();
        start();
        ASSERT_TRUE(dialog().fileService()->connect(FF::Net::Address(m_panel->endpoint().c_str())));
        m_boxAnswer = [](const Mfc::MessageBoxCall&) { return IDYES; };
    }
    void TearDown() override
    {
        if (m_dialogAlive)
            dialog().fileService()->disconnect();
        destroyDialog();
        m_panel.reset();
        DialogFixture::TearDown();
    }

    void destroyDialog()
    {
        m_dialogAlive = false;
        DialogFixture::destroyDialog();
    }
    ArmFileList& remote() { return *dialog().remoteList(); }
    WinShellList& local() { return *dialog().localList(); }
    QString pc(const QString& name = QString()) const { return name.isEmpty() ? m_pc.path() : m_pc.filePath(name); }

    void showRemote(const QString& path) { remote().setCurrentPath(path); }

    // The panel's existence check fails from now on, as fault says.
    void failExistenceChecks(CheckFault fault)
    {
        dialog().fileService()->setCallTimeOut(400);
        if (fault == CheckFault::Refused)
            m_panel->panel().removeMethod("hasFileOrFolder");
        else
            m_panel->setCallDelay("hasFileOrFolder", std::chrono::seconds(5));
    }

    // Selects exactly the rows named, right-clicks the first of them and runs
    // command, as a choice in its menu would.
    static void commandOn(CListCtrl& list, const QStringList& which, UINT command)
    {
        select(list, which);
        list.simulateClick(NM_RCLICK, rowOf(list, which.first()), 0);
        list.OnCommand(command, 0);
    }
    static void commandOn(CListCtrl& list, const QString& name, UINT command)
    {
        commandOn(list, QStringList{name}, command);
    }
    void showLocal(const QString& path) { local().navigateTo(path); }
    // Renames the row name in place: a click on it, the rename command, typed
    // into the editor and a click on the empty area, which commits it.
    template <class List>
    static void renameTo(List& list, const QString& name, const QString& typed)
    {
        list.simulateClick(NM_CLICK, rowOf(list, name), 0);
        list.OnCommand(BrellfinLists::kCmdRename, 0);
        ASSERT_TRUE(list.rename().isEditing());
        ASSERT_TRUE(list.rename().editor());
        list.rename().editor()->setText(typed);
        list.simulateClick(NM_CLICK, -1, -1);
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static std::vector<uint8_t> bytesOf(const QByteArray& bytes)
    {
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    // Method and first argument of the panel calls since the last clearLog.
    std::vector<std::string> calls(const std::string& method = std::string()) const
    {
        std::vector<std::string> out;
        for (const auto& call : m_panel->log())
            if (method.empty() || call.method == method)
                out.push_back(call.method + " " + (call.args.empty() ? std::string() : call.args[0].text));
        return out;
    }

    bool m_dialogAlive = true;
    QTemporaryDir m_pc;
    std::unique_ptr<Fake::FakeFileService> m_panel;
};
