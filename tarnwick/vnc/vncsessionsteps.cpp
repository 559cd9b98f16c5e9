#include "tarnwick/vnc/vncsessionsteps.h"

#include "tarnwick/vnc/framebufferupdate.h"
#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncdes.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include <QDebug>
#include <QTcpSocket>

#include <cstring>
#include <iterator>

namespace VNC {

namespace {

quint16 bigEndian16(const QByteArray& b, int at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

quint32 bigEndian32(const QByteArray& b, int at)
{
    return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) | (quint32(quint8(b[at + 2])) << 8)
           | quint32(quint8(b[at + 3]));
}

QByteArray clientInit()
{
    return QByteArray(1, Constants::kClientInitShared);
}

// Where each field of ServerInit's fixed part ends, and the failure of its
// read.
struct ServerInitField {
    qint64 end;
    const char* logText;
    const char* reason;
};

constexpr ServerInitField kServerInitFields[] = {
    {2, "read buffer width failed!", "read buffer width failed!"},
    {4, "read buffer height failed!", "read buffer height failed!"},
    {4 + Constants::kPixelFormatLength, "read pix format failed!", "read pix format failed!"},
    {Constants::kServerInitFixedLength, "read name failed!", "read name failed!"},
};

const ServerInitField& firstMissingField(qint64 held)
{
    for (const ServerInitField& field : kServerInitFields)
        if (held < field.end)
            return field;
    return kServerInitFields[std::size(kServerInitFields) - 1];
}

} // namespace

// VncVersionHandShake ---------------------------------------------------------

void VncVersionHandShake::run()
{
    if (!awaitBytes(Constants::kVersionLength, "VncVersionHandShake", "version read failed!", "read version"))
        return;
    qDebug() << "****************version Handshake**********";
    QByteArray version;
    if (!readBytes(Constants::kVersionLength, version))
        failStep("VncVersionHandShake", "version read failed!", "read version");
    if (qstrnicmp(version.constData(), Constants::kVersionPrefix, Constants::kVersionPrefixLength) != 0)
        failStep("VncVersionHandShake", "unsupported version!", "unsupported version");
    const char minor = version[Constants::kVersionPrefixLength];
    if (minor != '3' && minor != '7' && minor != '8')
        failStep("VncVersionHandShake", "unsupported version!", "unsupported version", minor);
    writeBytes(QByteArray(Constants::kClientVersion));
    setNext(std::make_unique<VncAuthentication>());
}

// VncAuthentication ------------------------------------------------------------

void VncAuthentication::run()
{
    switch (state) {
    case State::SecurityType:
        if (!readSecurityType())
            return;
        [[fallthrough]];
    case State::Challenge:
        if (!answerChallenge())
            return;
        state = State::Result;
        [[fallthrough]];
    case State::Result:
        if (readSecurityResult())
            setNext(std::make_unique<VncInit>());
        return;
    default: failStep("VncAuthentication", nullptr, "bugging");
    }
}

bool VncAuthentication::readSecurityType()
{
    if (!awaitBytes(4, "VncAuthentication", "read securityType failed", "read securityType failed"))
        return false;
    QByteArray data;
    if (!readBytes(4, data))
        failStep("VncAuthentication", "read securityType failed", "read securityType failed");
    switch (bigEndian32(data, 0)) {
    case Constants::kSecurityNone:
        qDebug() << "auth is not required";
        writeBytes(clientInit());
        setNext(std::make_unique<VncInit>());
        return false;
    case Constants::kSecurityVncAuth: state = State::Challenge; return true;
    case Constants::kSecurityInvalid: failStep("VncAuthentication", "unsupport type!", "unsupport type");
    default: failStep("VncAuthentication", "unkown security type", "unsupport type");
    }
}

bool VncAuthentication::answerChallenge()
{
    if (!awaitBytes(Constants::kChallengeLength, "VncAuthentication", "vnc auth read challenge failed",
                    "vnc auth read challenge failed"))
        return false;
    QByteArray challenge;
    if (!readBytes(Constants::kChallengeLength, challenge))
        failStep("VncAuthentication", "vnc auth read challenge failed", "vnc auth read challenge failed");
    char key[9] = {};
    const std::string text = password();
    // A dialog the user cancelled gives no password: answering with an empty
    // key would count as a failed attempt against us on the server.
    if (dispatcher && dispatcher->passwordCancelled())
        failStep("VncAuthentication", nullptr, "password input cancelled");
    for (size_t i = 0; i < 8 && i < text.size() && text[i] != '\0'; ++i)
        key[i] = text[i];
    uint8_t response[Constants::kChallengeLength];
    std::memcpy(response, challenge.constData(), sizeof(response));
    encryptVncChallenge(response, key);
    writeBytes(QByteArray(reinterpret_cast<const char*>(response), sizeof(response)));
    return true;
}

bool VncAuthentication::readSecurityResult()
{
    if (!awaitBytes(4, "VncAuthentication", "vnc auth read result failed!", "vnc auth read result failed"))
        return false;
    QByteArray data;
    if (!readBytes(4, data))
        failStep("VncAuthentication", "vnc auth read result failed!", "vnc auth read result failed");
    if (bigEndian32(data, 0) != Constants::kSecurityResultOk) {
        qDebug() << "Authentication failed! Password is incorrect!";
        throw VncPasswdIncorrect();
    }
    writeBytes(clientInit());
    return true;
}

// VncInit ------------------------------------------------------------------------

void VncInit::run()
{
    if (!waitingForName) {
        if (!socket)
            return;
        // A server that stops inside the fixed part fails the read of the
        // first field that has not wholly come.
        const ServerInitField& missing = firstMissingField(bytesBuffered());
        if (!awaitBytes(Constants::kServerInitFixedLength, "VncInit", missing.logText, missing.reason))
            return;
        QByteArray data;
        if (!readBytes(2, data))
            failStep("VncInit", "read buffer width failed!", "read buffer width failed!");
        const int width = bigEndian16(data, 0);
        if (width == 0)
            failStep("VncInit", "read buffer width failed!", "read buffer width failed!", width);
        if (!readBytes(2, data))
            failStep("VncInit", "read buffer height failed!", "read buffer height failed!");
        const int height = bigEndian16(data, 0);
        if (height == 0)
            failStep("VncInit", "read buffer height failed!", "read buffer height failed!", height);
        // Refused before anything is allocated for it: the frame buffer is
        // made at this size once the first picture arrives.
        if (width > Constants::kMaxFrameBufferSide || height > Constants::kMaxFrameBufferSide
            || qint64(width) * height > Constants::kMaxFrameBufferPixels) {
            failStep("VncInit", "frame buffer too large:", "frame buffer too large!", width, "x", height);
        }
        dispatcher->setWidth(width);
        dispatcher->setHeight(height);
        // The server's own pixel format is read past: the viewer sets the
        // format of its image quality next, and the server sends that.
        if (!readBytes(Constants::kPixelFormatLength, data))
            failStep("VncInit", "read pix format failed!", "read pix format failed!");
        qDebug() << "width:" << width << "height:" << height;
        if (!readBytes(4, data))
            failStep("VncInit", "read name failed!", "read name failed!");
        nameLength = bigEndian32(data, 0);
        if (nameLength > Constants::kMaxDesktopNameLength)
            failStep("VncInit", "read name failed!", "read name failed!", nameLength);
        if (nameLength == 0) {
            qDebug() << " name length is empty!";
            setNext(std::make_unique<VncEncodingSet>());
            return;
        }
        // The next run goes on here, without reading the fixed part again.
        waitingForName = 1;
    }
    if (!awaitBytes(qint64(nameLength), "VncInit", "read name data failed", "read name failed!"))
        return;
    QByteArray name;
    if (!readBytes(int(nameLength), name))
        failStep("VncInit", "read name data failed", "read name failed!");
    qDebug() << "len:" << nameLength << "name:" << name;
    setNext(std::make_unique<VncEncodingSet>());
}

// VncEncodingSet -----------------------------------------------------------------

void VncEncodingSet::run()
{
    static const char kSetEncodings[] = {Constants::kMsgSetEncodings, 0, 0, 1, 0, 0, 0, Constants::kEncodingHextile};
    const QByteArray message(kSetEncodings, sizeof(kSetEncodings));
    if (!socket || socket->write(message) != message.size())
        failStep("VncEncodingSet", nullptr, "write data failed");
    if (!waitWritten())
        failStep("VncEncodingSet", "set encoding failed!", "write data failed");
    setNext(std::make_unique<VncPixelFormatSet>());
}

// VncPixelFormatSet --------------------------------------------------------------

void VncPixelFormatSet::run()
{
    const QByteArray message = dispatcher->pixelFormat()->pixelFormatMessage();
    if (writeBytes(message) == 0)
        failStep("VncPixelFormatSet", nullptr, "fail to set pixel format");
    if (!waitWritten())
        failStep("VncPixelFormatSet", "set pix format failed!", "write data failed");
    setNext(std::make_unique<VncUpdateRequestAll>());
}

// VncUpdateRequestAll ------------------------------------------------------------

void VncUpdateRequestAll::run()
{
    sendUpdateRequest(0);
    setNext(std::make_unique<FrameBufferUpdate>());
}

} // namespace VNC
