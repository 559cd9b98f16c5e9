#pragma once

// An icon with a text beside or below it that reports left clicks, can swap
// its icon while pressed and can draw the icon a little larger (the pressed
// look of the menu items).

#include <QSize>
#include <QString>
#include <QWidget>

class QBoxLayout;
class QLabel;

class PixmapLabel : public QWidget {
    Q_OBJECT
public:
    PixmapLabel(const QString& icon, bool vertical, QWidget* parent = nullptr);
    PixmapLabel(const QString& icon, const QString& text, bool vertical, QWidget* parent = nullptr);
    PixmapLabel(const QString& icon, const QString& pressedIcon, const QString& text, bool vertical,
                QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    void setTextColor(const QString& color);
    void setVertical(bool vertical);
    bool isVertical() const { return m_vertical; }
    void setTextVisible(bool visible);
    void setIconVisible(bool visible);
    void setAlignment(Qt::Alignment alignment);
    void setContentsMargins(int left, int top, int right, int bottom);
    void setIcon(const QString& path);
    QString icon() const { return m_icon; }
    QString pressedIcon() const { return m_pressedIcon; }
    void setIconSize(const QSize& size);
    QSize iconSize() const { return m_iconSize; }
    void setIconEnlarged(bool enlarged);
    bool isIconEnlarged() const { return m_enlarged; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setUp(const QString& icon, const QString& text);
    void drawIcon(const QString& path, const QSize& size);
    QLabel* iconLabel() const;
    QLabel* textLabel() const;

    bool m_vertical = false;
    QSize m_iconSize{16, 16};
    QString m_icon;
    QString m_pressedIcon;
    QString m_text;
    bool m_pressed = false;
    bool m_enlarged = false;
    QBoxLayout* m_layout = nullptr;
    QLabel* m_iconLabel = nullptr;
    QLabel* m_textLabel = nullptr;
};
