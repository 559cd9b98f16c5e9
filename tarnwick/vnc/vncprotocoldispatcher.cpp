#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include "tarnwick/vnc/framebufferupdate.h"
#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncinputsteps.h"
#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncsessionsteps.h"
#include "tarnwick/vnc/vncviewerclient.h"

#include <QDebug>
#include <QTcpSocket>

namespace VNC {

VncProtocolDispatcher::VncProtocolDispatcher(FrameCallback frameCallback, VncImageQuality quality,
                                             VncViewerClient* client)
    : m_width(Constants::kDefaultWidth)
    , m_height(Constants::kDefaultHeight)
    , m_frameCallback(std::move(frameCallback))
    , m_client(client)
    , m_input(VncInputBuffer::Source(), Constants::kReadAheadBytes, Constants::kReadTimeoutMs)
{
    m_pixelFormat = VncPixelFormat::create(quality, m_frameCallback);
    m_pixelFormat->setInput(&m_input);
    m_pixelFormat->setFrameSize(QSize(width(), height()));
}

VncProtocolDispatcher::~VncProtocolDispatcher() = default;

void VncProtocolDispatcher::start(QTcpSocket* socket)
{
    m_socket = socket;
    // The input buffer is where server bytes wait; Qt's own buffer in front
    // of it need not hold more than one piece (unbounded, it takes in all the
    // kernel has, in fresh memory each time).
    if (socket)
        socket->setReadBufferSize(Constants::kReadAheadBytes);
    // Bytes of an earlier connection mean nothing to this one.
    m_input.setSource([this](char* to, qint64 max) { return readArrived(m_socket, to, max); });
    // The steps of an earlier connection end here.
    m_currentStep = std::make_unique<VncVersionHandShake>();
    m_pointerStep = std::make_unique<VncMouse>();
    m_keyStep = std::make_unique<VncKey>();
    m_currentStep->attach(socket, this);
    m_pointerStep->attach(socket, this);
    m_keyStep->attach(socket, this);
}

void VncProtocolDispatcher::runCurrentStep()
{
    if (m_currentStep)
        m_currentStep->run();
}

void VncProtocolDispatcher::setStep(std::unique_ptr<VncProtocol> step)
{
    m_currentStep = std::move(step);
    if (m_currentStep)
        m_currentStep->run();
}

std::string VncProtocolDispatcher::password()
{
    return m_client ? m_client->password().toUtf8().toStdString() : std::string();
}

bool VncProtocolDispatcher::passwordCancelled() const
{
    return m_client && m_client->passwordCancelled();
}

void VncProtocolDispatcher::setWidth(int width)
{
    m_width.exchange(width);
    m_pixelFormat->setFrameSize(QSize(width, m_height.load()));
    if (m_client)
        m_client->noteFrameBufferSize(width, m_height.load());
}

void VncProtocolDispatcher::setHeight(int height)
{
    m_height.exchange(height);
    m_pixelFormat->setFrameSize(QSize(m_width.load(), height));
    if (m_client)
        m_client->noteFrameBufferSize(m_width.load(), height);
}

bool VncProtocolDispatcher::inMessagePhase() const
{
    // An event written into the handshake would be read as part of it.
    return dynamic_cast<FrameBufferUpdate*>(m_currentStep.get()) != nullptr;
}

void VncProtocolDispatcher::sendPointer(int buttons, int x, int y)
{
    if (!m_pointerStep || !inMessagePhase())
        return;
    m_pointerStep->setPointer(quint8(buttons & 0xFF), x, y);
    m_pointerStep->run();
}

void VncProtocolDispatcher::sendKey(quint32 keysym, int down)
{
    if (!m_keyStep || !inMessagePhase())
        return;
    m_keyStep->setKey(keysym, quint8(down & 0xFF));
    m_keyStep->run();
}

void VncProtocolDispatcher::setFrameTarget(VncFrameTarget* target)
{
    m_pixelFormat->setFrameTarget(target);
}

} // namespace VNC
