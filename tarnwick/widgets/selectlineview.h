#pragma once

// A form row with a combo box of (text, data) items; every change of the
// current index, also by setItems() or clear(), is reported with the new
// current data (an invalid QVariant when the list is empty).

#include <QFrame>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

class QComboBox;

class SelectLineView : public QFrame {
    Q_OBJECT
public:
    using Item = QPair<QString, QVariant>;

    explicit SelectLineView(const QString& label, QWidget* parent = nullptr);

    void setItems(const QVector<Item>& items);
    void addItem(const QString& text, const QVariant& data);
    void setItem(int index, const QString& text, const QVariant& data);
    // Ignored when negative or not below the item count.
    void setCurrentIndex(int index);
    int currentIndex() const;
    QString currentText() const;
    QVariant currentData() const;
    int count() const;
    void clear();
    void setComboDisabled(bool disabled);
    void setRequired(bool required);
    void setLabelText(const QString& text);
    void setLabelIcon(const QString& path);
    QComboBox* comboBox() const { return m_combo; }

signals:
    void selectChanged(QVariant data);

public slots:
    void currentIndexChanged(int index);

private:
    QComboBox* m_combo = nullptr;
};
