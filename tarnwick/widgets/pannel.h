#pragma once

// The captioned frame with rounded corners that groups form rows on the
// settings page; the caller lays the rows out inside it.

#include <QWidget>

class Pannel : public QWidget {
    Q_OBJECT
public:
    explicit Pannel(const QString& title, QWidget* parent = nullptr);
};
