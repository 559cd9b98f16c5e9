#include "dialogfixture.h"

#include "brellfin/mfc/dialog.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"
#include "testing/main/eventwait.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <chrono>
#include <cstdlib>

void DialogFixture::SetUp()
{
    char pattern[] = "/tmp/twbf-dialog-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_folder = QString::fromLocal8Bit(pattern);
    BrellfinUi::setProgramFolderForTesting(m_folder);
    setLanguage(1033);
    m_hooks = std::make_unique<Mfc::ScopedHooks>();
    Mfc::setMessageBoxAnswerer([this](const Mfc::MessageBoxCall& call) {
        m_boxes.push_back(call);
        return m_boxAnswer ? m_boxAnswer(call) : IDOK;
    });
    Mfc::setMenuAnswerer([this](const Mfc::MenuCall& call) {
        m_menus.push_back(call);
        return m_menuAnswer ? m_menuAnswer(call) : 0u;
    });
    // A dialog that nobody answers ends cancelled.
    Mfc::setModalAnswerer([](CDialog&) {});
}

void DialogFixture::TearDown()
{
    m_dialog.reset();
    m_hooks.reset();
    Mfc::setCommandLineForTesting({});
    BrellfinUi::setProgramFolderForTesting(QString());
    QDir(m_folder).removeRecursively();
}

CBrellfinDlg& DialogFixture::start(const QStringList& arguments, const std::function<void(CBrellfinDlg&)>& beforeInit)
{
    Mfc::setCommandLineForTesting(QStringList{QStringLiteral("Brellfin")} + arguments);
    m_dialog = std::make_unique<CBrellfinDlg>();
    if (beforeInit)
        beforeInit(*m_dialog);
    m_dialog->Create();
    return *m_dialog;
}

void DialogFixture::setLanguage(int language)
{
    QFile file(QDir(m_folder).filePath("VexaSetCfg.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[SystemVars]\r\nLanguageValue=" + QByteArray::number(language) + "\r\n");
    file.close();
    loadSharedTexts();
}

QString DialogFixture::iniPath() const
{
    return QDir(m_folder).filePath("ip_config.ini");
}

void DialogFixture::writeIni(const QByteArray& bytes)
{
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray DialogFixture::iniBytes() const
{
    QFile file(iniPath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QStringList DialogFixture::logLines() const
{
    return m_dialog->transInfoTab()->logPage().edit().logText().split(QStringLiteral("\r\n"));
}

QStringList DialogFixture::boxTexts() const
{
    QStringList out;
    for (const auto& box : m_boxes)
        out << box.text;
    return out;
}

bool DialogFixture::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return TestWait::waitUntil(done, timeoutMs);
}

QString DialogFixture::text(BrellfinUi::StringId id)
{
    return loadLocalizedString(id);
}

QString DialogFixture::itemText(int id)
{
    return ::GetWindowText(item(id));
}

int DialogFixture::rowOf(CListCtrl& list, const QString& name)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetItemText(row, 0) == name)
            return row;
    return -1;
}

QStringList DialogFixture::column(CListCtrl& list, int c)
{
    QStringList out;
    for (int row = 0; row < list.GetItemCount(); ++row)
        out << list.GetItemText(row, c);
    return out;
}

void DialogFixture::select(CListCtrl& list, const QStringList& which)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        list.SetItemState(row, which.contains(list.GetItemText(row, 0)) ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

QByteArray DialogFixture::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

CursorDuringCall::CursorDuringCall(std::function<bool()> callArrived)
    : m_watcher([this, callArrived] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!callArrived() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const QCursor* cursor = QGuiApplication::overrideCursor();
        m_waitShown = cursor && cursor->shape() == Qt::WaitCursor;
    })
{
}

CursorDuringCall::~CursorDuringCall()
{
    if (m_watcher.joinable())
        m_watcher.join();
}

bool CursorDuringCall::waitShown()
{
    if (m_watcher.joinable())
        m_watcher.join();
    return m_waitShown;
}

bool waitCursorShown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}
