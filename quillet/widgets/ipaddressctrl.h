#pragma once

#include <QLineEdit>
#include <QRegExp>

// The four-field editor of an IPv4 address: an empty line edit that hosts one
// small line edit per part and moves the focus between them as the user types.
class IPAddressCtrl : public QLineEdit {
    Q_OBJECT
public:
    explicit IPAddressCtrl(QWidget* parent = nullptr);

    // "" when every field is empty; an empty field reads as 0.
    QString text() const;
    // Ignores text that is no valid address; "" clears the fields.
    void setText(const QString& text);
    void setEditable(bool on);

    // True for "" and for a dotted address of four parts 0-255.
    static bool isValidIp(const QString& text);
    // Four parts of 0-255, nothing else ("" is not an address).
    static bool isCompleteIp(const QString& text);

    QLineEdit* field(int index) const { return m_fields[index]; }

    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int indexOf(QObject* watched) const;
    void focusField(int index, bool atEnd);

    QLineEdit* m_fields[4] = {nullptr, nullptr, nullptr, nullptr};
};
