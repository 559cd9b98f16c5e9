#include "quillet/widgets/ipaddressctrl.h"

#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegExpValidator>

namespace {

constexpr int kFieldSpacing = 10;
constexpr int kMaxPart = 255;
const char* const kFieldPattern = "(2[0-5]{2}|2[0-4][0-9]|1?[0-9]{1,2})";
const char* const kAddressPattern =
    "\\b(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b";

} // namespace

IPAddressCtrl::IPAddressCtrl(QWidget* parent)
    : QLineEdit(parent)
{
    const QRegExp pattern(kFieldPattern, Qt::CaseSensitive, QRegExp::RegExp);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(kFieldSpacing);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QLineEdit*& field : m_fields) {
        field = new QLineEdit(this);
        field->setFrame(true);
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->installEventFilter(this);
        field->setValidator(new QRegExpValidator(pattern, this));
        field->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        layout->addWidget(field);
    }
    setReadOnly(true);
}

QString IPAddressCtrl::text() const
{
    bool allEmpty = true;
    for (QLineEdit* field : m_fields)
        allEmpty = allEmpty && field->text().isEmpty();
    if (allEmpty)
        return QString();
    QStringList parts;
    for (QLineEdit* field : m_fields)
        parts << (field->text().isEmpty() ? QStringLiteral("0") : field->text());
    return parts.join('.');
}

void IPAddressCtrl::setText(const QString& text)
{
    if (!isValidIp(text))
        return;
    const QStringList parts = text.split('.', Qt::KeepEmptyParts);
    for (int i = 0; i < 4; ++i)
        m_fields[i]->setText(parts.size() == 4 ? parts[i] : QString());
}

void IPAddressCtrl::setEditable(bool on)
{
    const Qt::FocusPolicy policy = on ? Qt::StrongFocus : Qt::NoFocus;
    setReadOnly(!on);
    setEnabled(on);
    setFocusPolicy(policy);
    for (QLineEdit* field : m_fields) {
        field->setReadOnly(!on);
        field->setEnabled(on);
        field->setFocusPolicy(policy);
    }
}

bool IPAddressCtrl::isValidIp(const QString& text)
{
    if (text.isEmpty())
        return true;
    return QRegExp(kAddressPattern, Qt::CaseSensitive, QRegExp::RegExp).exactMatch(text);
}

bool IPAddressCtrl::isCompleteIp(const QString& text)
{
    return !text.isEmpty() && isValidIp(text);
}

int IPAddressCtrl::indexOf(QObject* watched) const
{
    for (int i = 0; i < 4; ++i) {
        if (m_fields[i] == watched)
            return i;
    }
    return -1;
}

void IPAddressCtrl::focusField(int index, bool atEnd)
{
    QLineEdit* field = m_fields[index];
    field->setFocus(Qt::OtherFocusReason);
    field->setCursorPosition(atEnd ? field->text().size() : 0);
}

bool IPAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    const int i = indexOf(watched);
    if (i < 0 || (event->type() != QEvent::KeyPress && event->type() != QEvent::InputMethod))
        return QLineEdit::eventFilter(watched, event);

    int key = 0;
    if (event->type() == QEvent::KeyPress) {
        key = static_cast<QKeyEvent*>(event)->key();
    } else {
        const QString commit = static_cast<QInputMethodEvent*>(event)->commitString();
        if (commit.isEmpty())
            return QLineEdit::eventFilter(watched, event);
        key = commit.at(0).unicode() < 256 ? commit.at(0).unicode() : 0;
    }

    QLineEdit* field = m_fields[i];
    const QString t = field->text();
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if ((key == Qt::Key_Backspace && t.isEmpty()) || field->cursorPosition() == 0) {
            if (i >= 1)
                focusField(i - 1, true);
        }
        break;
    case Qt::Key_Right:
        if (field->cursorPosition() == t.size() && i <= 2)
            focusField(i + 1, false);
        break;
    default:
        if (key >= Qt::Key_0 && key <= Qt::Key_9 && !field->hasSelectedText()) {
            const QString digit = QString(QChar(key));
            const int value = t.toInt();
            if (t.size() == 3 || (t.size() <= 2 && value * 10 > kMaxPart)) {
                if (i <= 2) {
                    QLineEdit* next = m_fields[i + 1];
                    next->setFocus(Qt::OtherFocusReason);
                    next->selectAll();
                    next->setText(digit);
                }
            } else if (t.size() == 2) {
                // setText bypasses the validator: insert only what stays a part.
                QString inserted = t;
                inserted.insert(field->cursorPosition(), digit);
                if (inserted.toInt() <= kMaxPart)
                    field->setText(inserted);
            }
        }
        break;
    }
    return false;
}

void IPAddressCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    int x = 0;
    for (int k = 0; k < 3; ++k) {
        x += m_fields[k]->width();
        painter.drawPoint(x + kFieldSpacing * k + 3, height() - 2);
    }
}
