#pragma once

// The pixel formats of the three image qualities: each owns its exact
// SetPixelFormat message, turns server pixels into RGBA8888, and carries the
// Hextile decoder that takes a rectangle's tiles from the connection's input
// and draws them into the frame buffer.

#include "tarnwick/vnc/vncimagequality.h"

#include <QByteArray>
#include <QSize>

#include <functional>
#include <memory>

class QImage;

namespace VNC {

class VncHextileDecoder;
class VncInputBuffer;

// The header of one rectangle of a FramebufferUpdate, in host order.
struct VncRectHeader {
    quint16 x = 0;
    quint16 y = 0;
    quint16 width = 0;
    quint16 height = 0;
    qint32 encoding = 0;
};

// A frame buffer that decoded pixels are drawn into directly. beginDraw locks
// it and returns the RGBA8888 image (null: drop the pixels); endDraw unlocks
// and names the pixels the batch changed: every one it wrote lies inside
// `drawn` (empty when it wrote none).
class VncFrameTarget {
public:
    virtual ~VncFrameTarget() = default;
    virtual QImage* beginDraw() = 0;
    virtual void endDraw(const QRect& drawn) = 0;
};

class VncPixelFormat {
public:
    // Told when the last rectangle of an update has been decoded.
    using FrameCallback = std::function<void()>;

    // The pixel format of a quality; any value but low and middle is high.
    static std::unique_ptr<VncPixelFormat> create(int quality, FrameCallback frameCallback);

    virtual ~VncPixelFormat();
    VncPixelFormat(const VncPixelFormat&) = delete;
    VncPixelFormat& operator=(const VncPixelFormat&) = delete;

    QByteArray pixelFormatMessage() const { return m_pixelFormatMessage; }
    int bitsPerPixel() const { return m_bitsPerPixel; }

    // Converts n pixels of this format into RGBA8888 words (bytes R, G, B, A).
    virtual void convertPixels(const uchar* source, quint32* rgba, int n) const = 0;

    // The frame buffer decoded tiles are drawn into (clipped to it); without
    // one they are read and dropped.
    void setFrameTarget(VncFrameTarget* target) { m_frameTarget = target; }
    // The server's frame buffer: nothing outside it is drawn.
    void setFrameSize(const QSize& size) { m_frameSize = size; }
    // The connection's input buffer, shared with the protocol steps: the
    // decoder takes the rectangles' tiles from it. Without one nothing can be
    // read.
    void setInput(VncInputBuffer* input) { m_input = input; }

    // Decodes one Hextile rectangle as far as its tiles have arrived: false
    // while some are missing (the next call, with the same header, goes on
    // where this one stopped), true once it is complete. For the last
    // rectangle of an update the frame callback is then called.
    // A stream that ended or fell silent inside the rectangle raises the
    // step's failure.
    bool decodeRect(const VncRectHeader& rect, bool last);
    bool decodeHextile(const VncRectHeader& rect);

protected:
    explicit VncPixelFormat(FrameCallback frameCallback);
    void setMessage(int bitsPerPixel, int depth, quint16 redMax, quint16 greenMax, quint16 blueMax, int redShift,
                    int greenShift, int blueShift);

    FrameCallback frameCallback;

private:
    QByteArray m_pixelFormatMessage;
    int m_bitsPerPixel = 0;
    VncFrameTarget* m_frameTarget = nullptr;
    QSize m_frameSize;
    VncInputBuffer* m_input = nullptr;
    std::unique_ptr<VncHextileDecoder> m_hextile;
};

class VncLowQualityPixFormat : public VncPixelFormat {
public:
    explicit VncLowQualityPixFormat(FrameCallback frameCallback);
    void convertPixels(const uchar* source, quint32* rgba, int n) const override;

private:
    quint32 m_table[256];
};

class VncMiddleQualityPixFormat : public VncPixelFormat {
public:
    explicit VncMiddleQualityPixFormat(FrameCallback frameCallback);
    void convertPixels(const uchar* source, quint32* rgba, int n) const override;
};

class VncHighQualityPixFormat : public VncPixelFormat {
public:
    explicit VncHighQualityPixFormat(FrameCallback frameCallback);
    void convertPixels(const uchar* source, quint32* rgba, int n) const override;
};

// An RGBA8888 pixel as the word that lies in memory as R, G, B, A.
inline quint32 rgbaWord(quint32 r, quint32 g, quint32 b)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    return r | (g << 8) | (b << 16) | 0xFF000000u;
#else
    return (r << 24) | (g << 16) | (b << 8) | 0xFFu;
#endif
}

} // namespace VNC
