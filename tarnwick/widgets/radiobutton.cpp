#include "tarnwick/widgets/radiobutton.h"

#include "tarnwick/widgets/clicklabel.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSpacerItem>

RadioButton::RadioButton(QWidget* parent)
    : QFrame(parent)
    , m_radio(new QRadioButton(this))
    , m_label(new ClickLabel(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Preferred));
    layout->addWidget(m_radio);
    layout->addWidget(m_label);
    layout->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Preferred));
    layout->setContentsMargins(0, 0, 0, 0);
    m_radio->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    m_label->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(m_radio, &QRadioButton::clicked, this, &RadioButton::signalClicked);
    connect(m_label, &ClickLabel::signalClicked, this, &RadioButton::slotLabelClicked);
}

void RadioButton::addToGroup(QButtonGroup* group, int id)
{
    if (group)
        group->addButton(m_radio, id);
}

void RadioButton::setText(const QString& text)
{
    m_label->setText(text);
}

QString RadioButton::text() const
{
    return m_label->text();
}

void RadioButton::setChecked(bool checked)
{
    m_radio->setChecked(checked);
}

bool RadioButton::isChecked() const
{
    return m_radio->isChecked();
}

void RadioButton::setRadioEnabled(bool enabled)
{
    m_radioEnabled = enabled;
    m_radio->setEnabled(enabled);
}

void RadioButton::select()
{
    if (!m_radioEnabled)
        return;
    m_radio->setChecked(true);
    m_radio->click();
}

void RadioButton::mouseReleaseEvent(QMouseEvent* event)
{
    QFrame::mouseReleaseEvent(event);
    // A release on the text reaches the frame too once the label has passed
    // it on; the label's own click has selected the radio already.
    if (childAt(event->pos()) == m_label)
        return;
    select();
}

void RadioButton::slotLabelClicked()
{
    select();
}
