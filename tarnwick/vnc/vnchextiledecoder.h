#pragma once

// Hextile decoding of one rectangle. Reading is separate from drawing: the
// decoder takes only whole tiles from the connection's input buffer and
// draws every tile of a row that is held already in one go, straight into
// the frame buffer. When the rest of a tile has not arrived yet it returns,
// and the next call goes on with that tile. Every byte of the rectangle is
// consumed, also what lies outside the frame buffer, so that the stream
// keeps its place; nothing is drawn outside the frame buffer.

#include <QSize>
#include <QtGlobal>

namespace VNC {

class VncFrameTarget;
class VncInputBuffer;
class VncPixelFormat;
struct VncRectHeader;

class VncHextileDecoder {
public:
    explicit VncHextileDecoder(const VncPixelFormat& format);

    // Decodes the tiles of rect that `in` holds whole into the target (none:
    // they are read and dropped), within frame when it is valid. The first
    // call for a rectangle starts it; after a false, the next call (with the
    // same rect) goes on where this one stopped. True once the last tile is
    // drawn. A stream that ended, or fell silent for its limit, inside the
    // rectangle raises the step's failure.
    bool decodeRect(VncInputBuffer& in, const VncRectHeader& rect, VncFrameTarget* target, const QSize& frame);

    // Background and foreground of the rectangle so far, as raw pixels of
    // the format. A background never given is black (all zero in every
    // format).
    struct Colours {
        uchar background[4] = {};
        uchar foreground[4] = {};
        bool foregroundGiven = false;
    };

private:
    const VncPixelFormat& m_format;
    bool m_inRect = false;
    // The next tile to decode.
    int m_tileX = 0;
    int m_tileY = 0;
    Colours m_colours;
};

} // namespace VNC
