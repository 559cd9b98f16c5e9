#include "testing/fakefileservice/fakefileservice.h"

#include "testing/fakepanel/fakepanelconstants.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace Fake {

namespace {

constexpr uint64_t kRefused = ~uint64_t(0);
constexpr char kUserDirRoot[] = "/storage/user_dir";
constexpr size_t kUserDirRootLength = sizeof(kUserDirRoot) - 1;
constexpr const char* kUsbRoot = "/media/usb";
constexpr size_t kUsbRootLength = 10;

// A method that fails on the panel: the service answers status 2 ("InvokingFailed").
struct Failed {};

std::vector<std::string> components(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

uint32_t crc32Of(const uint8_t* bytes, size_t count, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < count; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Reads length bytes from start of the file at path, in pieces, into consume.
template <class Consume>
void readRange(const std::string& path, uint64_t start, uint64_t length, Consume consume)
{
    if (path.empty())
        throw Failed{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Failed{};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || start > uint64_t(info.st_size)
        || length > uint64_t(info.st_size) - start) {
        ::close(fd);
        throw Failed{};
    }
    std::vector<uint8_t> buffer(64 * 1024);
    uint64_t offset = start;
    uint64_t left = length;
    while (left > 0) {
        const size_t n = size_t(std::min<uint64_t>(left, buffer.size()));
        const ssize_t got = ::pread(fd, buffer.data(), n, off_t(offset));
        if (got <= 0) {
            ::close(fd);
            throw Failed{};
        }
        consume(buffer.data(), size_t(got));
        offset += uint64_t(got);
        left -= uint64_t(got);
    }
    ::close(fd);
}

std::string md5Hex(const std::string& text)
{
    return QCryptographicHash::hash(QByteArray(text.data(), int(text.size())), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

} // namespace

FakeFileService::FakeFileService(const std::string& address, uint16_t port)
{
    fs::create_directory(fs::path(m_folder.path()) / "user_dir");
    fs::create_directory(fs::path(m_folder.path()) / "usb0");
    m_env["VEXA_DIR_USER"] = kUserDirRoot;
    m_panel = std::make_unique<FakePanelService>(address, port);
    registerMethods();
}

FakeFileService::~FakeFileService()
{
    m_panel.reset();
    for (auto& entry : m_transfers)
        closeTransfer(entry.second);
}

std::optional<std::string> FakeFileService::localPath(const std::string& panelPath) const
{
    if (panelPath.find('\0') != std::string::npos || panelPath.empty() || panelPath[0] != '/')
        return std::nullopt;
    std::string area;
    std::string rest;
    if (panelPath.size() >= kUserDirRootLength
        && ::strncasecmp(panelPath.c_str(), kUserDirRoot, kUserDirRootLength) == 0
        && (panelPath.size() == kUserDirRootLength || panelPath[kUserDirRootLength] == '/')) {
        area = "user_dir";
        rest = panelPath.substr(kUserDirRootLength);
    } else if (panelPath.compare(0, kUsbRootLength, kUsbRoot) == 0) {
        const size_t end = panelPath.find('/', kUsbRootLength);
        const std::string number = panelPath.substr(kUsbRootLength,
                                                    end == std::string::npos ? end : end - kUsbRootLength);
        if (number.empty() || number.size() > 3
            || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        area = "usb" + number;
        rest = end == std::string::npos ? std::string() : panelPath.substr(end);
    } else {
        return std::nullopt;
    }
    fs::path local = fs::path(m_folder.path()) / area;
    for (const std::string& part : components(rest)) {
        if (part == "." || part == "..")
            return std::nullopt;
        local /= part;
    }
    return local.string();
}

std::string FakeFileService::mapped(const std::string& panelPath) const
{
    return localPath(panelPath).value_or(std::string());
}

void FakeFileService::putFile(const std::string& panelPath, const std::vector<uint8_t>& bytes)
{
    const auto local = localPath(panelPath);
    if (!local)
        throw std::invalid_argument("fake file service: no such panel area: " + panelPath);
    fs::create_directories(fs::path(*local).parent_path());
    FILE* file = std::fopen(local->c_str(), "wb");
    if (!file)
        throw std::runtime_error("fake file service: cannot write " + *local);
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (written != bytes.size())
        throw std::runtime_error("fake file service: short write to " + *local);
}

std::vector<uint8_t> FakeFileService::fileBytes(const std::string& panelPath) const
{
    std::vector<uint8_t> bytes;
    const auto local = localPath(panelPath);
    if (!local)
        return bytes;
    FILE* file = std::fopen(local->c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

bool FakeFileService::exists(const std::string& panelPath) const
{
    const auto local = localPath(panelPath);
    std::error_code error;
    return local && fs::exists(*local, error);
}

std::vector<FileCall> FakeFileService::log() const
{
    std::vector<FileCall> decoded;
    for (const RecordedCall& call : m_panel->calls())
        decoded.push_back(decodeFileCall(call));
    return decoded;
}

std::vector<std::string> FakeFileService::methods() const
{
    std::vector<std::string> names;
    for (const RecordedCall& call : m_panel->calls())
        names.push_back(call.method);
    return names;
}

size_t FakeFileService::count(const std::string& method) const
{
    const auto names = methods();
    return size_t(std::count(names.begin(), names.end(), method));
}

void FakeFileService::clearLog()
{
    m_panel->clearCalls();
}

void FakeFileService::setKeepLog(bool keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepLog = keep;
}

size_t FakeFileService::openHandles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transfers.size();
}

void FakeFileService::setRefuseStart(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuseStart = refuse;
}

void FakeFileService::setRefusedPiece(std::optional<uint64_t> k)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusedPiece = k;
    m_piecesWritten = 0;
}

void FakeFileService::setCorruption(Corruption corruption)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_corruption = corruption;
}

void FakeFileService::setUpdatePieceSize(uint32_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_updatePieceSize = size;
}

void FakeFileService::setUpdateOversize(uint32_t extra)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_updateOversize = extra;
}

void FakeFileService::setUpdateEmptyFrom(std::optional<uint64_t> offset)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_updateEmptyFrom = offset;
}

void FakeFileService::setMd5Answer(std::optional<std::vector<uint8_t>> digest)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_md5Answer = std::move(digest);
}

void FakeFileService::setFreeSpace(uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_freeSpace = bytes;
}

void FakeFileService::setFailFreeDiskSize(bool fail)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failFreeDiskSize = fail;
}

void FakeFileService::setCallDelay(const std::string& method, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delays[method] = delay;
    m_laterDelays.erase(method);
}

void FakeFileService::setCallDelayFrom(const std::string& method, uint64_t k, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_laterDelays[method] = LaterDelay{std::max<uint64_t>(k, 1), delay};
}

void FakeFileService::setSearchNames(std::optional<std::vector<std::string>> files,
                                     std::optional<std::vector<std::string>> folders)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_searchFiles = std::move(files);
    m_searchFolders = std::move(folders);
}

void FakeFileService::setEndlessFolders(bool endless)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endless = endless;
}

void FakeFileService::setProjectPassword(std::optional<std::string> password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_password = std::move(password);
}

void FakeFileService::setEnv(const std::string& name, const std::string& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_env[name] = value;
}

void FakeFileService::add(const std::string& name, Handler handler)
{
    m_panel->addMethod(name, [this, name, handler](MethodArgs& args, MethodResult& result) {
        bool keepLog = true;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            keepLog = m_keepLog;
            auto later = m_laterDelays.find(name);
            if (later != m_laterDelays.end() && --later->second.callsLeft == 0) {
                m_delays[name] = later->second.delay;
                m_laterDelays.erase(later);
            }
            auto delay = m_delays.find(name);
            if (delay == m_delays.end())
                delay = m_delays.find(std::string());
            if (delay != m_delays.end())
                result.setDelay(delay->second);
            try {
                handler(args, result);
            } catch (const Failed&) {
                result = MethodResult();
                result.setStatus(kStatusInvokingFailed);
            }
        }
        if (!keepLog)
            m_panel->clearCalls();
    });
}

FakeFileService::Transfer& FakeFileService::transfer(uint32_t handle)
{
    const auto found = m_transfers.find(handle);
    if (found == m_transfers.end())
        throw Failed{};
    return found->second;
}

void FakeFileService::closeTransfer(Transfer& transfer)
{
    if (transfer.fd >= 0)
        ::close(transfer.fd);
    transfer.fd = -1;
}

uint32_t FakeFileService::newHandle(Transfer::Kind kind)
{
    const uint32_t handle = m_nextHandle++;
    m_transfers[handle].kind = kind;
    return handle;
}

uint64_t FakeFileService::startReceiving(MethodArgs& args)
{
    Transfer& t = transfer(args.readHandle());
    const std::string path = args.readString();
    const uint64_t size = args.readULongLong();
    if (t.kind == Transfer::Sender)
        throw Failed{};
    closeTransfer(t);
    const std::string local = mapped(path);
    if (m_refuseStart || local.empty())
        return kRefused;
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (size == 0 ? O_TRUNC : 0);
    t.fd = ::open(local.c_str(), flags, 0644);
    struct stat info {};
    if (t.fd < 0 || ::fstat(t.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        closeTransfer(t);
        return kRefused;
    }
    return uint64_t(info.st_size);
}

bool FakeFileService::writePiece(MethodArgs& args)
{
    Transfer& t = transfer(args.readHandle());
    const uint64_t offset = args.readULongLong();
    std::vector<uint8_t> data = args.readBytes();
    if (t.kind == Transfer::Sender || t.fd < 0)
        return false;
    ++m_piecesWritten;
    if (m_refusedPiece && m_piecesWritten == *m_refusedPiece)
        return false;
    if (m_corruption != Corruption::None && !data.empty()) {
        data[0] ^= 0xFF;
        if (m_corruption == Corruption::Once)
            m_corruption = Corruption::None;
    }
    return ::pwrite(t.fd, data.data(), data.size(), off_t(offset)) == ssize_t(data.size());
}

void FakeFileService::registerMethods()
{
    // PC to panel.
    add("createDownloader2", [this](MethodArgs&, MethodResult& r) { r.addHandle(newHandle(Transfer::UserReceiver)); });
    add("createUDiskDownloader",
        [this](MethodArgs&, MethodResult& r) { r.addHandle(newHandle(Transfer::UsbReceiver)); });
    for (const char* name : {"startDownload2", "startUDiskDownload"})
        add(name, [this](MethodArgs& a, MethodResult& r) { r.addULongLong(startReceiving(a)); });
    for (const char* name : {"download2", "UDiskdownload"})
        add(name, [this](MethodArgs& a, MethodResult& r) { r.addBool(writePiece(a)); });
    for (const char* name : {"finishDownload2", "finishUDiskDownload"})
        add(name, [this](MethodArgs& a, MethodResult&) { closeTransfer(transfer(a.readHandle())); });
    for (const char* name : {"destroyDownloader2", "destroyUDiskDownloader", "destroyUpdater2"}) {
        add(name, [this](MethodArgs& a, MethodResult&) {
            const uint32_t handle = a.readHandle();
            closeTransfer(transfer(handle));
            m_transfers.erase(handle);
        });
    }

    // Panel to PC.
    add("createUpdater2", [this](MethodArgs&, MethodResult& r) { r.addHandle(newHandle(Transfer::Sender)); });
    add("startUpdate2", [this](MethodArgs& a, MethodResult& r) {
        Transfer& t = transfer(a.readHandle());
        const std::string local = mapped(a.readString());
        if (t.kind != Transfer::Sender)
            throw Failed{};
        closeTransfer(t);
        struct stat info {};
        if (!m_refuseStart && !local.empty())
            t.fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
        if (t.fd < 0 || ::fstat(t.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            closeTransfer(t);
            r.addULongLong(kRefused);
            return;
        }
        t.size = uint64_t(info.st_size);
        r.addULongLong(t.size);
    });
    add("update2", [this](MethodArgs& a, MethodResult& r) {
        Transfer& t = transfer(a.readHandle());
        const uint64_t offset = a.readULongLong();
        std::vector<uint8_t> piece;
        if (t.fd >= 0 && offset < t.size && !(m_updateEmptyFrom && offset >= *m_updateEmptyFrom)) {
            const uint64_t left = t.size - offset;
            const uint64_t n = std::min<uint64_t>(left, m_updatePieceSize);
            piece.resize(size_t(n));
            const ssize_t got = ::pread(t.fd, piece.data(), piece.size(), off_t(offset));
            piece.resize(got > 0 ? size_t(got) : 0);
            if (n == left)
                piece.resize(piece.size() + m_updateOversize, 0);
        }
        r.addBytes(piece);
    });
    add("finishUpdate2", [this](MethodArgs& a, MethodResult&) { closeTransfer(transfer(a.readHandle())); });

    // Digests and space.
    add("getFileCRC32", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        const uint64_t start = a.readULongLong();
        const uint64_t length = a.readULongLong();
        uint32_t crc = 0xFFFFFFFF;
        readRange(local, start, length, [&](const uint8_t* p, size_t n) { crc = crc32Of(p, n, crc); });
        r.addUInt(~crc);
    });
    add("getFileMD5", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        const uint64_t start = a.readULongLong();
        const uint64_t length = a.readULongLong();
        if (m_md5Answer) {
            r.addBytes(*m_md5Answer);
            return;
        }
        QCryptographicHash hash(QCryptographicHash::Md5);
        readRange(local, start, length,
                  [&](const uint8_t* p, size_t n) { hash.addData(reinterpret_cast<const char*>(p), int(n)); });
        const QByteArray digest = hash.result();
        r.addBytes(std::vector<uint8_t>(digest.begin(), digest.end()));
    });
    add("getFreeDiskSize", [this](MethodArgs& a, MethodResult& r) {
        a.readString();
        if (m_failFreeDiskSize)
            throw Failed{};
        r.addULongLong(m_freeSpace);
    });
    add("getDiskFreeSize", [this](MethodArgs&, MethodResult& r) { r.addULongLong(m_freeSpace); });

    // Files and folders.
    for (const char* name : {"createFile", "createUDiskFile"}) {
        add(name, [this](MethodArgs& a, MethodResult& r) {
            const std::string local = mapped(a.readString());
            const int fd = local.empty() ? -1 : ::open(local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
            r.addBool(fd >= 0);
        });
    }
    for (const char* name : {"createFolder", "createUDiskFolder"}) {
        add(name, [this](MethodArgs& a, MethodResult& r) {
            const std::string local = mapped(a.readString());
            r.addBool(!local.empty() && ::mkdir(local.c_str(), 0755) == 0);
        });
    }
    add("removeFileOrFolder", [this](MethodArgs& a, MethodResult& r) {
        const auto local = localPath(a.readString());
        std::error_code error;
        // The areas themselves stay.
        const bool area = local && fs::path(*local).parent_path() == fs::path(m_folder.path());
        r.addBool(local && !area && fs::exists(*local, error) && fs::remove_all(*local, error) > 0 && !error);
    });
    add("renameFile", [this](MethodArgs& a, MethodResult& r) {
        const std::string from = mapped(a.readString());
        const std::string to = mapped(a.readString());
        std::error_code error;
        r.addBool(!from.empty() && !to.empty() && fs::exists(from, error) && !fs::exists(to, error)
                  && ::rename(from.c_str(), to.c_str()) == 0);
    });
    add("hasFileOrFolder", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        std::error_code error;
        r.addBool(m_endless || (!local.empty() && fs::exists(local, error)));
    });
    add("isFile", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        std::error_code error;
        r.addBool(!m_endless && !local.empty() && fs::is_regular_file(local, error));
    });
    add("getFileSize", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        struct stat info {};
        r.addULongLong(!local.empty() && ::stat(local.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0);
    });
    add("getFileModifyTime", [this](MethodArgs& a, MethodResult& r) {
        const std::string local = mapped(a.readString());
        struct stat info {};
        r.addLongLong(!local.empty() && ::stat(local.c_str(), &info) == 0 ? int64_t(info.st_mtime) : -1);
    });
    add("getEnvPath", [this](MethodArgs& a, MethodResult& r) {
        const auto found = m_env.find(a.readString());
        r.addString(found == m_env.end() ? std::string() : found->second);
    });
    for (const bool files : {true, false}) {
        add(files ? "searchFiles" : "searchFolders", [this, files](MethodArgs& a, MethodResult& r) {
            const std::string local = mapped(a.readString());
            const auto& given = files ? m_searchFiles : m_searchFolders;
            if (given) {
                r.addStringVector(*given);
                return;
            }
            if (m_endless) {
                r.addStringVector(files ? std::vector<std::string>() : std::vector<std::string>{"deeper"});
                return;
            }
            std::vector<std::string> names;
            std::error_code error;
            if (!local.empty() && fs::is_directory(local, error)) {
                for (const auto& entry : fs::directory_iterator(local, error)) {
                    if (files ? entry.is_regular_file(error) : entry.is_directory(error))
                        names.push_back(entry.path().filename().string());
                }
            }
            std::sort(names.begin(), names.end());
            r.addStringVector(names);
        });
    }

    // Project.
    add("projectHasPassword", [this](MethodArgs&, MethodResult& r) { r.addBool(m_password.has_value()); });
    add("projectCheckPassword", [this](MethodArgs& a, MethodResult& r) {
        const std::string digest = a.readString();
        r.addBool(m_password && digest == md5Hex(*m_password));
    });
}

} // namespace Fake
