#include "platform/vcom/setuptool.h"

#include "platform/fd/privatefile.h"
#include "platform/fd/uniquefd.h"
#include "platform/serial/serialownend.h"
#include "platform/serial/serialportname.h"
#include "platform/vcom/pairconfig.h"
#include "platform/vcom/pairdaemon.h"
#include "platform/vcom/vcomconstants.h"
#include "platform/vcom/vcomfolders.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fnmatch.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Vcom {

namespace {

using Clock = std::chrono::steady_clock;

// The setup commands of one run, under the state folder's lock.
class SetupTool {
public:
    SetupTool(std::FILE* out, std::FILE* err)
        : m_out(out)
        , m_err(err)
    {
    }

    int run(std::vector<std::string> args);

private:
    int list();
    int busyNames(const std::vector<std::string>& args);
    int preinstall();
    int install(const std::vector<std::string>& args);
    int change(const std::vector<std::string>& args);
    int uninstall();

    int fail(const std::string& message)
    {
        std::fprintf(m_err, "%s\n", message.c_str());
        return 1;
    }
    std::string configPath() const { return stateFolder() + "/" + kConfigFile; }
    // 1 loaded, 0 no pair, -1 a configuration that cannot be read.
    int loadConfig(PairConfig* config) const;
    bool lock();
    std::string comEntry(const std::string& name) const { return absoluteComFolder() + "/" + name; }
    std::string absoluteComFolder() const;
    bool daemonAnswers(const PairConfig& config) const;
    bool ensureDaemon(const PairConfig& config);
    void stopDaemon();

    std::FILE* m_out;
    std::FILE* m_err;
    platform::UniqueFd m_lock;
};

std::string SetupTool::absoluteComFolder() const
{
    const std::string folder = Serial::comFolder();
    char resolved[PATH_MAX];
    return realpath(folder.c_str(), resolved) ? std::string(resolved) : folder;
}

int SetupTool::loadConfig(PairConfig* config) const
{
    std::string text;
    if (!readSmallFile(configPath(), &text))
        return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    return config->parse(text) ? 1 : -1;
}

bool SetupTool::lock()
{
    if (m_lock)
        return true;
    if (!ensureStateFolder())
        return false;
    m_lock.reset(open((stateFolder() + "/" + kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    return m_lock && flock(m_lock.get(), LOCK_EX) == 0;
}

bool SetupTool::daemonAnswers(const PairConfig& config) const
{
    return !Serial::askPairDaemon(comEntry(config.ownName()), Serial::kOwnEndStatusRequest).empty();
}

void SetupTool::stopDaemon()
{
    std::string text;
    if (!readSmallFile(stateFolder() + "/" + kPidFile, &text))
        return;
    const int pid = std::atoi(text.c_str());
    if (!isOurProcess(pid))
        return;
    kill(pid, SIGTERM);
    const auto end = Clock::now() + std::chrono::milliseconds(kDaemonStopWaitMs - 200);
    while (isOurProcess(pid) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (isOurProcess(pid)) {
        kill(pid, SIGKILL);
        const auto last = Clock::now() + std::chrono::milliseconds(200);
        while (isOurProcess(pid) && Clock::now() < last)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool SetupTool::ensureDaemon(const PairConfig& config)
{
    if (daemonAnswers(config))
        return true;
    // A daemon that does not answer is hung or gone; its successor takes over.
    stopDaemon();
    if (!Serial::ensureComFolder())
        return false;
    if (!PairDaemon::startDetached(absoluteComFolder(), stateFolder()))
        return false;
    const auto end = Clock::now() + std::chrono::milliseconds(kDaemonStartWaitMs);
    while (Clock::now() < end) {
        if (daemonAnswers(config))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int SetupTool::list()
{
    PairConfig config;
    const int loaded = loadConfig(&config);
    if (loaded == 0)
        return 0;
    if (loaded < 0)
        return fail("The pair's configuration cannot be read");
    if (!lock())
        return fail("The state folder cannot be used");
    // A pair outlives its daemon: the list brings a dead one back.
    const bool running = ensureDaemon(config);
    std::fputs(config.listText().c_str(), m_out);
    if (!running)
        return fail("The pair's daemon cannot be started");
    return 0;
}

int SetupTool::busyNames(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return fail("Usage: busynames <pattern>");
    PairConfig config;
    const bool havePair = loadConfig(&config) == 1;
    for (int n : busyPortNumbers(havePair ? &config : nullptr)) {
        const std::string name = "COM" + std::to_string(n);
        if (fnmatch(args[1].c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            std::fprintf(m_out, "%s\n", name.c_str());
    }
    return 0;
}

int SetupTool::preinstall()
{
    if (!Serial::ensureComFolder())
        return fail("The COM folder " + Serial::comFolder() + " cannot be made or is not private");
    if (!ensureStateFolder())
        return fail("The state folder " + stateFolder() + " cannot be made or is not private");
    return 0;
}

int SetupTool::install(const std::vector<std::string>& args)
{
    if (args.size() != 3)
        return fail("Usage: install PortName=<name>,... PortName=<name>,...");
    if (!lock())
        return fail("The state folder cannot be used");
    PairConfig existing;
    if (loadConfig(&existing) != 0)
        return fail("A pair is installed already");
    PairConfig config;
    std::string error;
    if (!config.setFromInstall(args[1], args[2], &error))
        return fail(error);
    const std::set<int> busy = busyPortNumbers(nullptr);
    for (const std::string& name : {config.ownName(), config.userName()}) {
        if (!name.empty() && busy.count(Serial::comNumber(name)))
            return fail("The port name " + name + " is already used for other device");
    }
    if (!Serial::ensureComFolder())
        return fail("The COM folder " + Serial::comFolder() + " cannot be made or is not private");
    if (!platform::writePrivateFile(configPath(), config.text()))
        return fail("The pair's configuration cannot be written");
    if (!ensureDaemon(config)) {
        stopDaemon();
        unlink(configPath().c_str());
        return fail("The pair's daemon cannot be started");
    }
    return 0;
}

int SetupTool::change(const std::vector<std::string>& args)
{
    const std::string prefix = std::string(kRealPortNameKey) + "=";
    if (args.size() != 3 || args[1] != kUserEndId || args[2].compare(0, prefix.size(), prefix) != 0)
        return fail("Usage: change CNCB0 RealPortName=<name>");
    const std::string name = args[2].substr(prefix.size());
    if (!isPortName(name))
        return fail("Invalid port name " + name);
    if (!lock())
        return fail("The state folder cannot be used");
    PairConfig config;
    if (loadConfig(&config) != 1)
        return fail("No pair is installed");
    if (name == config.userName())
        return ensureDaemon(config) ? 0 : fail("The pair's daemon cannot be started");
    if (busyPortNumbers(&config).count(Serial::comNumber(name)))
        return fail("The port name " + name + " is already used for other device");
    const std::string before = config.text();
    config.setUserName(name);
    if (!platform::writePrivateFile(configPath(), config.text()))
        return fail("The pair's configuration cannot be written");
    if (daemonAnswers(config)) {
        if (Serial::askPairDaemon(comEntry(config.ownName()), Serial::kOwnEndReloadRequest) == Serial::kOwnEndGranted)
            return 0;
        platform::writePrivateFile(configPath(), before);
        return fail("The port " + name + " cannot be linked");
    }
    return ensureDaemon(config) ? 0 : fail("The pair's daemon cannot be started");
}

int SetupTool::uninstall()
{
    PairConfig config;
    const int loaded = loadConfig(&config);
    struct stat st {};
    if (loaded == 0 && stat((stateFolder() + "/" + kPidFile).c_str(), &st) != 0)
        return 0;
    if (!lock())
        return fail("The state folder cannot be used");
    stopDaemon();
    // A daemon killed outright leaves its entries behind.
    if (loaded == 1) {
        if (lstat(comEntry(config.ownName()).c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            unlink(comEntry(config.ownName()).c_str());
        if (!config.userName().empty() && lstat(comEntry(config.userName()).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            unlink(comEntry(config.userName()).c_str());
    }
    unlink(configPath().c_str());
    unlink((stateFolder() + "/" + kPidFile).c_str());
    return 0;
}

int SetupTool::run(std::vector<std::string> args)
{
    // "--silent" only keeps the real tool from asking; nothing here asks.
    while (!args.empty() && args.front() == "--silent")
        args.erase(args.begin());
    if (args.empty())
        return fail("Usage: setupc.exe [--silent] list|busynames|preinstall|update|install|change|uninstall");
    const std::string& command = args.front();
    if (command == "list" && args.size() == 1)
        return list();
    if (command == "busynames")
        return busyNames(args);
    if (command == "preinstall" && args.size() == 1)
        return preinstall();
    if (command == "update" && args.size() == 1)
        return 0;
    if (command == "install")
        return install(args);
    if (command == "change")
        return change(args);
    if (command == "uninstall" && args.size() == 1)
        return uninstall();
    return fail("Unknown command " + command);
}

} // namespace

int runSetupCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    SetupTool tool(out, err);
    const int code = tool.run(args);
    std::fflush(out);
    std::fflush(err);
    return code;
}

} // namespace Vcom
