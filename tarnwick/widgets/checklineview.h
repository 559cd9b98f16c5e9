#pragma once

// A form row with a check box, optionally captioned; as a bare check box it
// is the table view's check-box cell (value: the checked state).

#include "tarnwick/widgets/itemview.h"

#include <QWidget>

class CheckLineView : public QWidget, public ItemView {
    Q_OBJECT
    Q_INTERFACES(ItemView)
public:
    CheckLineView(const QString& checkText, bool checked, QWidget* parent = nullptr);
    // The bare check box: no caption, no text.
    explicit CheckLineView(bool checked, QWidget* parent = nullptr);
    CheckLineView(const QString& label, const QString& checkText, bool checked, QWidget* parent = nullptr);

    void setChecked(bool checked);
    bool isChecked() const;
    void setAlignment(Qt::Alignment alignment);

    void setValue(const QVariant& value) override;
    QVariant value() const override;

signals:
    void valueChanged(bool checked);

public slots:
    void onStateChanged(int state);

private:
    void setUp(const QString& label, const QString& checkText, bool checked);
};
