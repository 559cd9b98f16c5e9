#pragma once

// Hextile decoding of one rectangle. Reading is separate from drawing: the
// decoder takes only whole tiles from the input buffer (waiting for the rest
// of a tile when it is not there yet), and draws every tile of a row that is
// already held in one go. Every byte of the rectangle is consumed, also what
// lies outside the frame buffer, so that the stream keeps its place; nothing
// is drawn outside the frame buffer.

#include <QSize>

namespace VNC {

class VncFrameTarget;
class VncInputBuffer;
class VncPixelFormat;
struct VncRectHeader;

class VncHextileDecoder
{
public:
    explicit VncHextileDecoder(VncPixelFormat& format);

    // With a target, tiles are drawn straight into its image; without one,
    // every fill and raw tile leaves as an image through the pixel format.
    // frame bounds the drawing (empty: only the target's own size does).
    // A read failure raises the step's failure.
    void decodeRect(VncInputBuffer& in, const VncRectHeader& rect, VncFrameTarget* target, const QSize& frame);

private:
    template <typename Sink>
    void decodeTiles(VncInputBuffer& in, const VncRectHeader& rect, Sink& sink);

    VncPixelFormat& m_format;
};

} // namespace VNC
