#include "tarnwick/core/discovery/discoverydatagram.h"

namespace {

quint32 readU32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

void appendU32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

quint32 DiscoveryDatagram::idFor(qint64 msecsSinceEpoch)
{
    const auto id = static_cast<quint32>(static_cast<quint64>(msecsSinceEpoch) & 0xFFFFFFFFu);
    return id == 0 ? 1 : id;
}

QByteArray DiscoveryDatagram::probe(quint32 id)
{
    QByteArray out;
    appendU32(out, id);
    out.append(static_cast<char>(kKind));
    appendU32(out, 0);
    return out;
}

bool DiscoveryDatagram::parseReply(const char* data, qint64 size, quint32 id, stDeviceInfo& out)
{
    if (size < kHeaderSize)
        return false;
    if (readU32(data) != id || static_cast<quint8>(data[4]) != kKind)
        return false;
    const quint64 payloadLength = readU32(data + 5);
    if (payloadLength + kHeaderSize != static_cast<quint64>(size))
        return false;

    const char* p = data + kHeaderSize;
    quint64 remaining = payloadLength;
    stDeviceInfo info;
    if (remaining < 4)
        return false;
    const quint64 textCount = readU32(p);
    p += 4;
    remaining -= 4;
    if (textCount > remaining)
        return false;
    info.text.assign(p, static_cast<size_t>(textCount));
    p += textCount;
    remaining -= textCount;

    if (remaining < 4)
        return false;
    const quint64 ipCount = readU32(p);
    p += 4;
    remaining -= 4;
    if (ipCount > remaining)
        return false;
    info.ip.assign(p, static_cast<size_t>(ipCount));
    p += ipCount;
    remaining -= ipCount;

    if (remaining < 4)
        return false;
    info.value = readU32(p);
    out = std::move(info);
    return true;
}
