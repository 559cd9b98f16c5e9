#include "tarnwick/vnc/vncpixelformat.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vnchextiledecoder.h"
#include "tarnwick/vnc/vncinputbuffer.h"

#include <QImage>

#include <algorithm>

namespace VNC {

std::unique_ptr<VncPixelFormat> VncPixelFormat::create(int quality, FrameCallback frameCallback)
{
    switch (quality) {
    case LowQuality: return std::make_unique<VncLowQualityPixFormat>(std::move(frameCallback));
    case MiddleQuality: return std::make_unique<VncMiddleQualityPixFormat>(std::move(frameCallback));
    default: return std::make_unique<VncHighQualityPixFormat>(std::move(frameCallback));
    }
}

VncPixelFormat::VncPixelFormat(FrameCallback callback)
    : frameCallback(std::move(callback))
    , m_pixelFormatMessage(Constants::kSetPixelFormatLength, '\0')
    , m_hextile(std::make_unique<VncHextileDecoder>(*this))
{
}

VncPixelFormat::~VncPixelFormat() = default;

void VncPixelFormat::setMessage(int bitsPerPixel, int depth, quint16 redMax, quint16 greenMax, quint16 blueMax,
                                int redShift, int greenShift, int blueShift)
{
    m_bitsPerPixel = bitsPerPixel;
    QByteArray& m = m_pixelFormatMessage;
    m[0] = char(Constants::kMsgSetPixelFormat);
    m[4] = char(bitsPerPixel);
    m[5] = char(depth);
    m[6] = 0; // little-endian pixels
    m[7] = 1; // true colour
    m[8] = char(redMax >> 8);
    m[9] = char(redMax & 0xFF);
    m[10] = char(greenMax >> 8);
    m[11] = char(greenMax & 0xFF);
    m[12] = char(blueMax >> 8);
    m[13] = char(blueMax & 0xFF);
    m[14] = char(redShift);
    m[15] = char(greenShift);
    m[16] = char(blueShift);
}

bool VncPixelFormat::decodeHextile(const VncRectHeader& rect)
{
    if (m_input)
        return m_hextile->decodeRect(*m_input, rect, m_frameTarget, m_frameSize);
    VncInputBuffer none;
    return m_hextile->decodeRect(none, rect, m_frameTarget, m_frameSize);
}

bool VncPixelFormat::decodeRect(const VncRectHeader& rect, bool last)
{
    if (!decodeHextile(rect))
        return false;
    if (last)
        frameCallback();
    return true;
}

// Low: red in the top two bits, green in the next three, blue in the low three.
VncLowQualityPixFormat::VncLowQualityPixFormat(FrameCallback callback)
    : VncPixelFormat(std::move(callback))
{
    setMessage(8, 8, 3, 7, 7, 6, 3, 0);
    for (quint32 v = 0; v < 256; ++v)
        m_table[v] = rgbaWord(v & 0xC0, ((v >> 3) & 7) << 5, (v & 7) << 5);
}

void VncLowQualityPixFormat::convertPixels(const uchar* source, quint32* rgba, int n) const
{
    for (int i = 0; i < n; ++i)
        rgba[i] = m_table[source[i]];
}

VncMiddleQualityPixFormat::VncMiddleQualityPixFormat(FrameCallback callback)
    : VncPixelFormat(std::move(callback))
{
    setMessage(16, 16, 31, 63, 31, 11, 5, 0);
}

void VncMiddleQualityPixFormat::convertPixels(const uchar* source, quint32* rgba, int n) const
{
    for (int i = 0; i < n; ++i) {
        const quint32 v = quint32(source[2 * i]) | (quint32(source[2 * i + 1]) << 8);
        rgba[i] = rgbaWord((v >> 11) << 3, ((v >> 5) & 0x3F) << 2, (v & 0x1F) << 3);
    }
}

VncHighQualityPixFormat::VncHighQualityPixFormat(FrameCallback callback)
    : VncPixelFormat(std::move(callback))
{
    setMessage(24, 24, 255, 255, 255, 16, 8, 0);
}

void VncHighQualityPixFormat::convertPixels(const uchar* source, quint32* rgba, int n) const
{
    for (int i = 0; i < n; ++i)
        rgba[i] = rgbaWord(source[3 * i + 2], source[3 * i + 1], source[3 * i]);
}

} // namespace VNC
