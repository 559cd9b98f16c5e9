#pragma once

// The caption side of the kit's form rows: the red required star and the
// right-aligned column that holds the star and the caption.

class QHBoxLayout;
class QLabel;
class QWidget;

namespace Tarnwick {
namespace Widgets {

// A red "*" (named kStarName), hidden until its row is marked required.
QLabel* newRequiredStar(QWidget* parent);
// `star` then `caption`, side by side at the right, vertically centred.
QHBoxLayout* newCaptionColumn(QLabel* star, QWidget* caption);

} // namespace Widgets
} // namespace Tarnwick
