// A main dialog in a temporary program folder (English texts), with message
// boxes, modal dialogs and menus answered by the test and recorded.
#pragma once

#include "brellfin/mfc/testhooks.h"
#include "brellfin/ui/brellfindlg.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the dialog with this command line (program name added) and runs OnInitDialog.
    CBrellfinDlg& start(const QStringList& arguments = {});
    CBrellfinDlg& dialog() { return *m_dialog; }
    void destroyDialog() { m_dialog.reset(); }

    QString folder() const { return m_folder; }
    QString iniPath() const;
    void writeIni(const QByteArray& bytes);
    QByteArray iniBytes() const;
    QStringList logLines() const;
    // Message box texts, in order.
    QStringList boxTexts() const;

    // Processes events until done() or timeoutMs; done()'s last answer.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    static QString text(int id);

    std::vector<Mfc::MessageBoxCall> m_boxes;
    std::function<int(const Mfc::MessageBoxCall&)> m_boxAnswer;
    std::vector<Mfc::MenuCall> m_menus;
    std::function<UINT(const Mfc::MenuCall&)> m_menuAnswer;

private:
    QString m_folder;
    std::unique_ptr<Mfc::ScopedHooks> m_hooks;
    std::unique_ptr<CBrellfinDlg> m_dialog;
};
