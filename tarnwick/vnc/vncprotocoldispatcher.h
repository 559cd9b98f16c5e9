#pragma once

// The context one VNC connection runs in: the current RFB step, the pointer
// and key steps, the frame buffer size, the pixel format of the chosen image
// quality and the socket. Lives in the connection worker's thread.

#include "tarnwick/vnc/vncimagequality.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncsocketio.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QImage;
class QTcpSocket;

namespace VNC {

class VncFrameTarget;
class VncKey;
class VncMouse;
class VncPixelFormat;
class VncProtocol;
class VncViewerClient;

class VncProtocolDispatcher {
public:
    // Told when the last rectangle of an update has been decoded.
    using FrameCallback = std::function<void()>;

    VncProtocolDispatcher(FrameCallback frameCallback, VncImageQuality quality, VncViewerClient* client);
    ~VncProtocolDispatcher();
    VncProtocolDispatcher(const VncProtocolDispatcher&) = delete;
    VncProtocolDispatcher& operator=(const VncProtocolDispatcher&) = delete;

    void start(QTcpSocket* socket);
    void runCurrentStep();
    // Destroys the current step (often the caller) and runs the new one.
    void setStep(std::unique_ptr<VncProtocol> step);

    std::string password();
    bool passwordCancelled() const;

    VncPixelFormat* pixelFormat() const { return m_pixelFormat.get(); }
    int width() const { return m_width.load(); }
    int height() const { return m_height.load(); }
    void setWidth(int width);
    void setHeight(int height);

    // Written at once once the session has reached its message phase;
    // dropped before (and before any connection).
    void sendPointer(int buttons, int x, int y);
    void sendKey(quint32 keysym, int down);

    // What the server sent and no step has taken yet; every step and the
    // decoder read from it, and none waits in it: a step short of bytes
    // returns and runs again when more have come.
    VncInputBuffer& input() { return m_input; }

    // A wait for written bytes to leave stops as soon as this turns true.
    void setCancelCheck(CancelCheck check) { m_cancelCheck = std::move(check); }
    const CancelCheck& cancelCheck() const { return m_cancelCheck; }

    // Decoded pixels go straight into this frame buffer when set.
    void setFrameTarget(VncFrameTarget* target);

private:
    bool inMessagePhase() const;

    std::unique_ptr<VncProtocol> m_currentStep;
    std::unique_ptr<VncMouse> m_pointerStep;
    std::unique_ptr<VncKey> m_keyStep;
    std::atomic<int> m_width;
    std::atomic<int> m_height;
    FrameCallback m_frameCallback;
    std::unique_ptr<VncPixelFormat> m_pixelFormat;
    QTcpSocket* m_socket = nullptr;
    VncViewerClient* m_client = nullptr;
    CancelCheck m_cancelCheck;
    VncInputBuffer m_input;
};

} // namespace VNC
