#pragma once

// A radio button whose text is a ClickLabel, so that a click on the text
// selects the radio too; the pair sits centred in the frame.

#include <QFrame>

class ClickLabel;
class QButtonGroup;
class QRadioButton;

class RadioButton : public QFrame {
    Q_OBJECT
public:
    explicit RadioButton(QWidget* parent = nullptr);

    void addToGroup(QButtonGroup* group, int id);
    void setText(const QString& text);
    QString text() const;
    void setChecked(bool checked);
    bool isChecked() const;
    // Enables or disables the radio; the text stays enabled but then selects nothing.
    void setRadioEnabled(bool enabled);
    bool isRadioEnabled() const { return m_radioEnabled; }

signals:
    void signalClicked(bool checked);

public slots:
    void slotLabelClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void select();

    QRadioButton* m_radio = nullptr;
    ClickLabel* m_label = nullptr;
    bool m_radioEnabled = true;
};
