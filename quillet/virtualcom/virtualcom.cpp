#include "quillet/virtualcom/virtualcom.h"

#include "platform/process/commandrunner.h"
#include "platform/serial/serialownend.h"
#include "platform/serial/serialport.h"
#include "platform/serial/serialportname.h"
#include "quillet/virtualcom/virtualcomconstants.h"
#include "skerrow/skerrow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cctype>
#include <cstdio>
#include <strings.h>

using namespace VirtualComConst;

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool endsWithNoCase(const std::string& text, const char* tail)
{
    const size_t n = std::char_traits<char>::length(tail);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

} // namespace

VirtualCom* VirtualCom::instance()
{
    // The tool folder lies beside the program. The 32-bit tool is only for a
    // 32-bit system, which the missing WOW64 query rules out here.
    static VirtualCom* const theInstance = new VirtualCom(QDir(programFolder()).filePath(kToolFolder64));
    return theInstance;
}

VirtualCom::VirtualCom(const QString& toolFolder, int toolTimeoutMs, QObject* parent)
    : QObject(parent)
    , m_toolFolder(toolFolder)
    , m_toolTimeoutMs(toolTimeoutMs)
{
    std::string own;
    std::string user;
    if (queryPair()) {
        QMutexLocker lock(&m_mutex);
        own = m_ownPort;
        user = m_userPort;
    }
    if (!own.empty() && own == user) {
        uninstall();
        setNames({}, {});
    }
}

VirtualCom::~VirtualCom() = default;

bool VirtualCom::runTool(const QString& command, QByteArray* output, const QStringList& extra)
{
    output->clear();
    // The tool asks nothing: its input is empty, so a question gets end of input.
    ProcessCommandRunner runner(m_toolFolder);
    const CommandResult result = runner.run(QDir(m_toolFolder).absoluteFilePath(kToolName),
                                            command.split(QLatin1Char(' '), Qt::SkipEmptyParts) + extra,
                                            m_toolTimeoutMs);
    if (!result.started)
        return false;
    if (result.timedOut) {
        // A hung tool must not hold the dispatcher, or at start-up the window, for good.
        qWarning("setup tool killed after %d ms: %s", m_toolTimeoutMs, qPrintable(command));
        return false;
    }
    const int zero = result.output.indexOf('\0');
    *output = zero >= 0 ? result.output.left(zero) : result.output;
    return true;
}

void VirtualCom::setNames(const std::string& own, const std::string& user)
{
    QMutexLocker lock(&m_mutex);
    m_ownPort = own;
    m_userPort = user;
}

bool VirtualCom::portExists(const std::string& name)
{
    Serial::Port port;
    switch (port.open(name)) {
    case Serial::OpenResult::Ok: {
        std::printf("Open %s Suc\n", name.c_str());
        Serial::Settings settings;
        const bool read = port.readSettings(&settings);
        if (read)
            std::printf("GetCommState %s Suc\n", name.c_str());
        std::fflush(stdout);
        return read;
    }
    case Serial::OpenResult::AccessDenied: return true; // another program holds it
    default: return false;
    }
}

std::string VirtualCom::entryName(const std::string& line)
{
    const std::vector<std::string> items = split(line, ',');
    if (items.empty())
        return {};
    const std::vector<std::string> first = split(items[0], '=');
    if (first.size() < 2 || !endsWithNoCase(first[0], kPortNameKey))
        return {};
    std::string candidate = first[1];
    if (strcasecmp(candidate.c_str(), kAutoPortName) == 0) {
        // A user's end without a given name has no second item to read it from.
        if (items.size() < 2)
            return {};
        const std::vector<std::string> second = split(items[1], '=');
        if (second.size() < 2 || strcasecmp(second[0].c_str(), kRealPortNameKey) != 0)
            return {};
        candidate = second[1];
    }
    const int number = Serial::comNumber(candidate);
    if (number <= 0)
        return {};
    const std::string name = "COM" + std::to_string(number);
    return portExists(name) ? name : std::string();
}

bool VirtualCom::queryPair()
{
    return findPair().value_or(false);
}

std::optional<bool> VirtualCom::findPair()
{
    QByteArray output;
    // A list that did not run to its end tells nothing: no pair is not known.
    if (!runTool(kListCommand, &output))
        return std::nullopt;
    qDebug("existed result: %s", output.constData());
    std::vector<std::string> lines;
    for (std::string line : split(output.toStdString(), '\n')) {
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    if (lines.size() < 2)
        return false;
    const std::string own = entryName(lines[0]);
    const std::string user = entryName(lines[1]);
    if (own.empty() || user.empty())
        return false;
    setNames(own, user);
    return true;
}

std::optional<bool> VirtualCom::validPair(std::string* own, std::string* user)
{
    const std::optional<bool> found = findPair();
    if (!found || !*found)
        return found;
    QMutexLocker lock(&m_mutex);
    if (m_ownPort == m_userPort) {
        m_ownPort.clear();
        m_userPort.clear();
        return false;
    }
    *own = m_ownPort;
    *user = m_userPort;
    return true;
}

bool VirtualCom::isInstalled()
{
    std::string own;
    std::string user;
    return validPair(&own, &user).value_or(false);
}

std::string VirtualCom::ownPort()
{
    return findOwnPort().value_or(std::string());
}

std::optional<std::string> VirtualCom::findOwnPort()
{
    std::string own;
    std::string user;
    const std::optional<bool> valid = validPair(&own, &user);
    if (!valid)
        return std::nullopt;
    return *valid ? own : std::string();
}

std::string VirtualCom::userPort()
{
    std::string own;
    std::string user;
    return validPair(&own, &user).value_or(false) ? user : std::string();
}

bool VirtualCom::isInUse()
{
    std::string own;
    std::string user;
    {
        QMutexLocker lock(&m_mutex);
        own = m_ownPort;
        user = m_userPort;
    }
    for (const std::string& name : {own, user}) {
        if (name.empty())
            continue;
        Serial::Port port;
        if (port.open(name) == Serial::OpenResult::AccessDenied)
            return true;
    }
    // The pair's daemon also sees a user's end opened without a lock.
    Serial::PairStatus status;
    return !own.empty() && Serial::queryPairStatus(own, &status) && (status.held || status.userOpen);
}

std::unordered_set<int> VirtualCom::busyNumbers(const QByteArray& output)
{
    std::unordered_set<int> numbers;
    std::string collected;
    auto take = [&] {
        size_t i = 0;
        while (i < collected.size() && !std::isdigit(static_cast<unsigned char>(collected[i])))
            ++i;
        long long n = 0;
        size_t digits = 0;
        for (; i < collected.size() && std::isdigit(static_cast<unsigned char>(collected[i])); ++i, ++digits)
            n = digits < 10 ? n * 10 + (collected[i] - '0') : n;
        // A number too long for a port is no port.
        if (n > 0 && digits <= 9)
            numbers.insert(static_cast<int>(n));
        collected.clear();
    };
    for (char c : output) {
        if (c == '\n') {
            take();
            continue;
        }
        if (!std::isspace(static_cast<unsigned char>(c)) && !std::isalpha(static_cast<unsigned char>(c)))
            collected.push_back(c);
    }
    take();
    return numbers;
}

std::unordered_set<std::string> VirtualCom::busyPortNames()
{
    QByteArray output;
    runTool(kBusyNamesCommand, &output);
    std::unordered_set<std::string> names;
    for (int n : busyNumbers(output))
        names.insert("COM" + std::to_string(n));
    return names;
}

bool VirtualCom::freeNumbers(int* first, int* second)
{
    *first = *second = -1;
    QByteArray output;
    // Without the names in use every number would look free.
    if (!runTool(kBusyNamesCommand, &output))
        return false;
    const std::unordered_set<int> busy = busyNumbers(output);
    for (int n = kFirstCandidate; n <= kLastCandidate && *second < 0; ++n) {
        if (busy.count(n))
            continue;
        if (*first < 0)
            *first = n;
        else
            *second = n;
    }
    return *first >= kFirstCandidate && *second >= kFirstCandidate;
}

bool VirtualCom::install()
{
    // A list without answer may hide a pair that stands: nothing is made.
    const std::optional<bool> found = findPair();
    if (!found)
        return false;
    if (*found) {
        bool differ = false;
        {
            QMutexLocker lock(&m_mutex);
            differ = m_ownPort != m_userPort;
        }
        if (differ)
            return true;
        uninstall(); // a broken pair: both ends on one name
    }
    int first = -1;
    int second = -1;
    if (!freeNumbers(&first, &second))
        return false;
    QByteArray output;
    runTool(kPreinstallCommand, &output);
    const QString own = QStringLiteral("COM%1").arg(second);
    const QString user = QStringLiteral("COM%1").arg(first);
    runTool(kInstallCommand, &output,
            {QStringLiteral("PortName=") + own + QLatin1String(kOwnEndParameters), QLatin1String(kUserEndParameters)});
    runTool(kUpdateCommand, &output);
    runTool(kChangeCommand, &output, {QLatin1String(kRealPortNamePrefix) + user});
    std::optional<bool> shown;
    for (int attempt = 1; attempt <= kVerifyTries; ++attempt) {
        shown = findPair();
        if (shown.value_or(false))
            return true;
        if (attempt < kVerifyTries)
            Vexa_Sleep(kVerifyPauseMs);
    }
    // Removed again only when the list said it is not there.
    if (shown)
        uninstall();
    return false;
}

bool VirtualCom::uninstall()
{
    QByteArray output;
    if (!runTool(kUninstallCommand, &output))
        return false;
    setNames({}, {});
    return true;
}

int VirtualCom::changeUserPort(const std::string& name)
{
    QByteArray output;
    // The name goes as one argument: spaces in it cannot add commands.
    runTool(kChangeCommand, &output, {QString::fromStdString(kRealPortNamePrefix + name)});
    return output.contains(kTryAgain) || output.contains(kReboot) ? 1 : 0;
}
