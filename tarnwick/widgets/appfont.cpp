#include "tarnwick/widgets/appfont.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QApplication>
#include <QFontDatabase>

using namespace Tarnwick::Widgets;

QString AppFont::family()
{
    const QString preferred = QString::fromUtf8(kPreferredFontFamily);
    if (QFontDatabase().hasFamily(preferred))
        return preferred;
    return QString::fromUtf8(kFallbackFontFamily);
}

QFont AppFont::applicationFont()
{
    QFont font(family());
    font.setPointSize(ScreenTool::fontSize(kApplicationFontBase) - 1);
    return font;
}

QFont AppFont::apply()
{
    const QFont font = applicationFont();
    QApplication::setFont(font);
    return font;
}
