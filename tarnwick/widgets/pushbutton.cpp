#include "tarnwick/widgets/pushbutton.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/widgetsconstants.h"

using namespace Tarnwick::Widgets;

PushButton::PushButton(QWidget* parent)
    : QPushButton(parent)
{
    applyDefaultStyle();
}

PushButton::PushButton(const QString& text, QWidget* parent)
    : QPushButton(parent)
{
    applyDefaultStyle();
    setText(text);
}

void PushButton::applyDefaultStyle()
{
    setStyleSheet(kBlueButtonStyle);
    setMinimumHeight(ScreenTool::scale(24));
}

void PushButton::setButtonDisabled(bool disabled)
{
    const QString style =
        disabled
            ? QString::fromLatin1(kButtonStyleTemplate)
                  .arg(kButtonDisabledColour, kButtonDisabledColour, kButtonDisabledColour)
            : QString::fromLatin1(kButtonStyleTemplate).arg(kButtonColour, kButtonHoverColour, kButtonPressedColour);
    setStyleSheet(style);
    QWidget::setDisabled(disabled);
}
