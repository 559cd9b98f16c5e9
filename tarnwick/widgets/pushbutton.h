#pragma once

// The kit's blue push button, greyed while disabled.

#include <QPushButton>

class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(QWidget* parent = nullptr);
    PushButton(const QString& text, QWidget* parent = nullptr);

    void applyDefaultStyle();
    // Grey colours and disabled, or the blue colours and enabled.
    void setButtonDisabled(bool disabled);
};
