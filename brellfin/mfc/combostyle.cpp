#include "brellfin/mfc/combostyle.h"

#include "brellfin/mfc/dialog.h"

#include <QApplication>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>

namespace Mfc {

namespace {

// The arrow's zone at 96 DPI: the arrow and a pixel or two beside it.
constexpr int kArrowZone = 12;

} // namespace

ComboStyle::ComboStyle(const QString& baseKey)
    : QProxyStyle(baseKey)
{
}

ComboStyle* ComboStyle::instance()
{
    static QPointer<ComboStyle> style;
    if (!style && qApp) {
        style = new ComboStyle(QApplication::style()->objectName());
        style->setParent(qApp);
    }
    return style;
}

QRect ComboStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                                 const QWidget* widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control != CC_ComboBox || (subControl != SC_ComboBoxArrow && subControl != SC_ComboBoxEditField))
        return rect;
    const int dpi = templateDpi(widget);
    const int zone = (kArrowZone * dpi + 48) / 96;
    const QRect arrow = QProxyStyle::subControlRect(control, option, SC_ComboBoxArrow, widget);
    const int shift = arrow.width() - zone;
    if (shift <= 0)
        return rect;
    // The arrow keeps its outer edge; the entry's field grows by as much.
    const bool rightToLeft = option->direction == Qt::RightToLeft;
    if (subControl == SC_ComboBoxArrow) {
        if (rightToLeft)
            rect.setRight(rect.right() - shift);
        else
            rect.setLeft(rect.left() + shift);
    } else if (rightToLeft) {
        rect.setLeft(rect.left() - shift);
    } else {
        rect.setRight(rect.right() + shift);
    }
    return rect;
}

} // namespace Mfc
