#pragma once

// A form row: a right-aligned caption (a clickable PixmapLabel, with the red
// required star before it) and any widget the caller hands in.

#include <QPointer>
#include <QString>
#include <QWidget>

class CustomLineView : public QWidget {
    Q_OBJECT
public:
    CustomLineView(const QString& label, QWidget* widget, QWidget* parent = nullptr);
    explicit CustomLineView(QWidget* parent = nullptr);

    void setLabelAlignment(Qt::Alignment alignment);
    // Replaces the input widget (the old one is deleted later); the widget
    // already held and a null widget are ignored.
    void setWidget(QWidget* widget);
    QWidget* widget() const { return m_widget; }
    void setStretch(int labelStretch, int widgetStretch);

signals:
    void textClicked();

private:
    void setUp();

    QString m_label;
    QPointer<QWidget> m_widget;
    int m_labelStretch = 1;
    int m_widgetStretch = 3;
};
