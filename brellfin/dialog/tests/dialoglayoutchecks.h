#pragma once

// What a window built from a dialog template must show whole: every control
// inside the window and inside the control that holds it, no page over the
// row of tabs, and every text of a control within the room the control's
// style gives it, measured in the font the control is drawn with.

class CBrellfinDlg;
class QWidget;

namespace DialogChecks {

// Every control (an item of a template) and every page lies inside the
// window's client area and inside its parent; no page covers a tab.
void expectEveryControlInside(QWidget& window);

// Labels, buttons, frame titles, drop-down entries, tabs, column titles and
// the address box's widest address: each text within its control's room,
// across and down (down by its ink, as the text is drawn centred).
void expectEveryTextFits(QWidget& window);

// The status and direction words that the queue's narrow columns show.
void expectQueueWordsFit(CBrellfinDlg& dialog);

} // namespace DialogChecks
