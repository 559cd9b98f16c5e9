#pragma once

// What every window class of the layer can take part in: the key
// pre-translation walk and commands (button clicks, menu choices).

#include "brellfin/mfc/mfcdefs.h"

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // TRUE consumes the message; a handler may also change msg->wParam.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // A command (wParam: its id) sent to this window; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A notification (NM_CLICK, NM_RCLICK, NM_DBLCLK, LVN_COLUMNCLICK) from
    // child control ctrlId about row and column (-1: none); TRUE when handled.
    virtual BOOL OnNotify(int ctrlId, int code, int row, int column);
    // Called when the window has taken the place of a dialog item.
    virtual void PreSubclassWindow() {}
};

constexpr int NM_CLICK = -2;
constexpr int NM_DBLCLK = -3;
constexpr int NM_RCLICK = -5;
constexpr int LVN_COLUMNCLICK = -108;

// The command id of a dialog item, 0 for a window that is none.
int GetDlgCtrlID(const QWidget* window);
