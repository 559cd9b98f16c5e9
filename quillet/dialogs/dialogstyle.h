#pragma once

#include <QString>

namespace QuilletStyle {

enum class Dialog { Login, ProjectStart, PortEditor };

// The dialogs' style sheet, scaled by ScreenTool: fonts %1 = scale(12),
// button heights %2 = scale(24), field heights %3 = scale(20).
QString dialogStyleSheet(Dialog dialog);
// The main window's scaled style sheet.
QString mainWindowStyleSheet();

// Status colours of the main window.
constexpr int kSuccessRgb[3] = {80, 220, 0};
constexpr int kFailureRgb[3] = {220, 20, 50};

} // namespace QuilletStyle
