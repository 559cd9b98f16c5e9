#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <unordered_set>

// The virtual COM-port pair that Quillet installs with the outside setup
// program: Quillet opens the own end (hidden), the user's software the user's
// end. Runs the program, reads its output and keeps the two port names.
//
// The one instance is made by the first instance() call, after main has taken
// the single-instance lock, so a second copy of Quillet never runs the tool.
// Jobs call it on the dispatcher thread; the window reads the names on the GUI
// thread, so the names are guarded.
class VirtualCom : public QObject {
    Q_OBJECT
public:
    static VirtualCom* instance();

    // The tool in `toolFolder`; a tool running longer than `toolTimeoutMs` is
    // killed. Runs the list and removes a pair whose two ends share a name.
    explicit VirtualCom(const QString& toolFolder, int toolTimeoutMs = 60000, QObject* parent = nullptr);
    ~VirtualCom() override;

    bool queryPair();
    // Whether the list shows a pair (its names then stored, as by queryPair),
    // or nothing when the tool did not run to its end: no answer, which
    // queryPair reads as no pair.
    std::optional<bool> findPair();
    bool isInstalled();
    std::string ownPort();
    // The own end's name, "" when the list shows no valid pair, or nothing
    // when the tool did not run to its end (which ownPort reads as "").
    std::optional<std::string> findOwnPort();
    std::string userPort();
    bool isInUse();
    std::unordered_set<std::string> busyPortNames();
    // False without touching anything when the list or the busy names give
    // no answer; an install that does not show is removed again only when
    // the list says so.
    bool install();
    // False, the names kept, when the tool did not run to its end.
    bool uninstall();
    // 1 when the tool asks for a restart, else 0.
    int changeUserPort(const std::string& name);

    QString toolFolder() const { return m_toolFolder; }

    // A port that can be opened and read, or that another program holds.
    static bool portExists(const std::string& name);
    // The port name of one list line (see the .cpp), "" when it has none.
    static std::string entryName(const std::string& line);
    // The numbers above 0 that the busy-names output holds, one per line.
    static std::unordered_set<int> busyNumbers(const QByteArray& output);

private:
    // Runs the tool with the words of `command` and then `extra` as its
    // arguments; *output is what it printed, up to the first zero byte, or
    // nothing when it could not run or was killed at the limit (false then).
    bool runTool(const QString& command, QByteArray* output, const QStringList& extra = {});
    // Both names when the list shows them and they differ; equal ones are
    // cleared. Nothing when the list gave no answer.
    std::optional<bool> validPair(std::string* own, std::string* user);
    void setNames(const std::string& own, const std::string& user);
    // False also when the busy names gave no answer.
    bool freeNumbers(int* first, int* second);

    QString m_toolFolder;
    int m_toolTimeoutMs;
    mutable QMutex m_mutex;
    std::string m_ownPort;
    std::string m_userPort;
};
