#pragma once

// Drawing into a 32-bit frame buffer image, clipped to the image.

#include <QtGlobal>

class QImage;

namespace VNC {

void fillRectClipped(QImage& image, int x, int y, int w, int h, quint32 pixel);
// pixels holds w * h words, row after row.
void putPixelsClipped(QImage& image, int x, int y, int w, int h, const quint32* pixels);

} // namespace VNC
