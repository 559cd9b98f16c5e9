#pragma once

#include <QString>
#include <QWidget>

// The spinner overlay laid over a window while a slow job runs: invisible for
// the first half second, then a ring of bars over the whole parent; it closes
// itself when its time-out runs out.
class BusyWidget : public QWidget {
public:
    BusyWidget(QWidget* parent, const QString& text, int step);

    void setTimeout(int ms);

    int step() const { return m_step; }
    int bars() const { return 360 / m_step; }
    int timeout() const { return m_timeout; }
    const QString& text() const { return m_text; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_angle = 0;
    int m_step;
    int m_delay = 500;
    int m_timeout = 20000;
    QString m_text;
};
