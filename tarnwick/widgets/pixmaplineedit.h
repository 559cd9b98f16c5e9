#pragma once

// A framed line edit with an optional leading icon and an optional password
// eye: while the eye is visible it decides whether the text is masked, and a
// click on it (unless the edit is read-only) shows or hides the text.

#include <QFrame>
#include <QLineEdit>
#include <QString>

class PixmapLabel;
class QLabel;
class QValidator;

class PixmapLineEdit : public QFrame {
    Q_OBJECT
public:
    explicit PixmapLineEdit(QWidget* parent = nullptr);

    void setPlaceholderText(const QString& text);
    void setText(const QString& text);
    QString text() const;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    void setEditFocus();
    void setValidator(const QValidator* validator);
    void setIcon(const QString& path);
    QString iconPath() const { return m_iconPath; }
    void setBackground(const QString& color);
    void setWhiteFrame();
    // Applied only while the eye is hidden; the visible eye decides.
    void setEchoMode(QLineEdit::EchoMode mode);
    QLineEdit::EchoMode echoMode() const;
    void setPswdIconVisible(bool show);
    bool isPswdIconVisible() const;
    bool isTextHidden() const { return m_textHidden; }
    QLineEdit* lineEdit() const { return m_lineEdit; }

signals:
    void editingFinished();
    void textChanged(const QString& text);

public slots:
    void onPswdEyeClicked();

private:
    void refreshEye();
    PixmapLabel* eye() const;

    QLabel* m_iconLabel = nullptr;
    QLineEdit* m_lineEdit = nullptr;
    QString m_iconPath;
    bool m_textHidden = false;
};
