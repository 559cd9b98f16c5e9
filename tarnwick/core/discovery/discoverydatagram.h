#pragma once

// The UDP discovery datagram: a 9-byte little-endian header (u32 id, u8 kind,
// u32 payload length), empty for the probe; a reply's payload holds a counted
// text, the counted address that the panel reports, and a u32 value.

#include <QByteArray>
#include <QMetaType>
#include <QVector>

#include <string>

// A parsed reply.
struct stDeviceInfo {
    std::string text;
    std::string ip; // the address the panel reports
    quint32 value = 0;
};

// One panel found by discovery.
struct stDeviceInfoEx {
    std::string text;
    std::string ip; // source address of the reply, dotted
    quint32 value = 0;
    std::string lanIp; // the address the panel reports
};
Q_DECLARE_METATYPE(stDeviceInfoEx)
Q_DECLARE_METATYPE(QVector<stDeviceInfoEx>)

class DiscoveryDatagram {
public:
    static constexpr int kHeaderSize = 9;
    static constexpr quint8 kKind = 1;
    static constexpr int kMaxDatagram = 1024; // receive buffer

    // The id of a probe sent at this wall-clock time: its low 32 bits, 1 for 0.
    static quint32 idFor(qint64 msecsSinceEpoch);
    static QByteArray probe(quint32 id);
    // Accepts a reply to the probe `id`: matching id and kind, a payload
    // length equal to what arrived, counts within the payload; bytes after
    // the value are ignored.
    static bool parseReply(const char* data, qint64 size, quint32 id, stDeviceInfo& out);
};
