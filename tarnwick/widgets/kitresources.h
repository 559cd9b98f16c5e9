#pragma once

// The kit's compiled-in pictures (":/pics/icon/", ":/pics/img/", ":/pics/pic/",
// ":/pics/vexa_img/"). The kit is a static library, so its resource tree is
// registered on first use rather than by the linker: every kit widget that
// shows a picture calls init(), and so must code that loads a picture by path
// before it has built any kit widget.

class KitResources {
public:
    // Registers the resource tree once; later calls do nothing. GUI thread.
    static void init();
};
