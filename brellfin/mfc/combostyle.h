#pragma once

// The style of the drop-down lists: the application's own, with the arrow's
// zone as narrow as the arrow needs, so that an entry has the room the
// template gives it (its combo boxes are only as wide as their longest entry
// on the platform it was made for).

#include <QProxyStyle>

namespace Mfc {

class ComboStyle : public QProxyStyle {
public:
    // The one instance, owned by the application.
    static ComboStyle* instance();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget) const override;

private:
    explicit ComboStyle(const QString& baseKey);
};

} // namespace Mfc
