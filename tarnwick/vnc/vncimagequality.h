#pragma once

// The three image qualities the viewer can ask the server for.

#include <QMetaType>

enum VncImageQuality {
    LowQuality = 0,    // 8 bits per pixel
    MiddleQuality = 1, // 16 bits per pixel
    HighQuality = 2,   // 24 bits per pixel
};

Q_DECLARE_METATYPE(VncImageQuality)
