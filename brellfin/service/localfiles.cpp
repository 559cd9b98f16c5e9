#include "brellfin/service/localfiles.h"

#include "brellfin/service/runningmd5.h"
#include "brellfin/service/serviceconstants.h"
#include "brellfin/service/stringopt.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <array>

namespace {

using BrellfinService::kLocalReadBlockSize;

std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ BrellfinService::kCrcPolynomial : crc >> 1;
        table[i] = crc;
    }
    return table;
}

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::uint64_t count)
{
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::uint64_t i = 0; i < count; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

bool localFileCrc32(const QString& path, std::uint64_t count, std::uint32_t& crc, const std::atomic<bool>& cancel,
                    RunningMd5* md5)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    std::uint32_t running = 0xFFFFFFFF;
    char buffer[kLocalReadBlockSize];
    std::uint64_t remaining = count;
    while (remaining > 0) {
        if (cancel)
            return false;
        const qint64 n = qint64(std::min(remaining, kLocalReadBlockSize));
        if (file.read(buffer, n) != n)
            return false;
        running = crc32Update(running, buffer, std::uint64_t(n));
        if (md5)
            md5->add(buffer, std::size_t(n));
        remaining -= std::uint64_t(n);
    }
    crc = ~running;
    return true;
}

bool localFileMd5(const QString& path, std::vector<FF::byte>& digest, const std::atomic<bool>& cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    QCryptographicHash hash(QCryptographicHash::Md5);
    char buffer[kLocalReadBlockSize];
    qint64 remaining = size;
    while (remaining > 0) {
        if (cancel)
            return false;
        const qint64 n = std::min<qint64>(remaining, qint64(kLocalReadBlockSize));
        if (file.read(buffer, n) != n)
            return false;
        hash.addData(buffer, int(n));
        remaining -= n;
    }
    const QByteArray result = hash.result();
    digest.assign(result.begin(), result.end());
    return true;
}

std::uint64_t localFileSize(const std::string& utf8Path)
{
    QFile file(StringOpt::FromUtf8ToWide(utf8Path));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return std::uint64_t(file.size());
}

std::string fileNameOfPath(const std::string& path)
{
    const auto last = path.find_last_of("\\/");
    return last == std::string::npos ? path : path.substr(last + 1);
}

QString fileNameOfPath(const QString& path)
{
    const int last = std::max(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return last < 0 ? path : path.mid(last + 1);
}
