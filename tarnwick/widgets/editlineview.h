#pragma once

// A form row: a right-aligned caption (with the red required star before it)
// and a PixmapLineEdit, optionally masked with a password eye.

#include <QString>
#include <QWidget>

class PixmapLineEdit;

class EditLineView : public QWidget {
    Q_OBJECT
public:
    EditLineView(const QString& label, const QString& text, QWidget* parent = nullptr);

    void setLabelText(const QString& text);
    void setLabelAlignment(Qt::Alignment alignment);
    void setRequired(bool required);
    void setText(const QString& text);
    QString text() const;
    void setPasswordMode(bool password);
    void setPswdIconVisible(bool visible);
    void setReadOnly(bool readOnly);
    PixmapLineEdit* lineEdit() const;
};
