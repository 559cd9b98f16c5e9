#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

// The spinner overlay laid over a window while a slow job runs: invisible for
// the first half second, then a ring of bars over the whole parent; it closes
// itself when its time-out runs out. An area left uncovered (the title bar)
// keeps taking clicks meanwhile.
class BusyWidget : public QWidget {
public:
    BusyWidget(QWidget* parent, const QString& text, int step);

    void setTimeout(int ms);
    // Leaves the area of `widget`, a descendant of the parent, uncovered:
    // the overlay takes no clicks there, also after it follows a new size.
    void leaveUncovered(QWidget* widget);

    int step() const { return m_step; }
    int bars() const { return 360 / m_step; }
    int timeout() const { return m_timeout; }
    const QString& text() const { return m_text; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateMask();

    QPointer<QWidget> m_uncovered;
    int m_angle = 0;
    int m_step;
    int m_delay = 500;
    int m_timeout = 20000;
    QString m_text;
};
