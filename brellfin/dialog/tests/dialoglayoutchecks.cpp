#include "dialoglayoutchecks.h"

#include "brellfin/dialog/brellfindlg.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/ui/localizedstring.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTabBar>

#include <climits>
#include <string>

namespace DialogChecks {

namespace {

std::string name(const QWidget* widget)
{
    const int id = GetDlgCtrlID(widget);
    return std::string(widget->metaObject()->className()) + (id ? " " + std::to_string(id) : std::string());
}

QRect inWindow(const QWidget* widget, QWidget& window)
{
    return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
}

// The controls of the window and its pages that the user can see.
std::vector<QWidget*> shownControls(QWidget& window)
{
    std::vector<QWidget*> controls;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->isVisibleTo(&window) && GetDlgCtrlID(widget) != 0)
            controls.push_back(widget);
    }
    return controls;
}

// A text within room: its advance across, its ink down.
void expectWithin(const std::string& where, const QFontMetrics& metrics, const QString& text, const QRect& room)
{
    if (text.isEmpty())
        return;
    EXPECT_LE(metrics.horizontalAdvance(text), room.width()) << where << " '" << text.toStdString() << "' across";
    EXPECT_LE(metrics.tightBoundingRect(text).height(), room.height())
        << where << " '" << text.toStdString() << "' down";
}

QRect buttonRoom(QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

QRect comboRoom(QComboBox* combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.subControls = QStyle::SC_All;
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
}

QRect editRoom(QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->contentsRect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    // A line edit keeps 2 px across and 1 px down free inside its contents.
    return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).adjusted(2, 1, -2, -1);
}

// The room of a frame's title: the frame's width, and down to the highest
// control that lies inside the frame.
QRect groupTitleRoom(QGroupBox* group, QWidget& window)
{
    const QRect frame = inWindow(group, window);
    int firstInside = frame.bottom();
    for (QWidget* control : shownControls(window)) {
        const QRect r = inWindow(control, window);
        if (control != group && !qobject_cast<QGroupBox*>(control) && frame.contains(r))
            firstInside = std::min(firstInside, r.top());
    }
    return QRect(0, 0, group->width(), firstInside - frame.top());
}

} // namespace

void expectEveryControlInside(QWidget& window)
{
    const QRect client = window.rect();
    for (QWidget* control : shownControls(window)) {
        EXPECT_TRUE(client.contains(inWindow(control, window)))
            << name(control) << " at " << inWindow(control, window).x() << "," << inWindow(control, window).y()
            << " size " << control->width() << "x" << control->height() << " outside the client area " << client.width()
            << "x" << client.height();
        EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()))
            << name(control) << " outside its parent";
    }
    for (CDialog* page : window.findChildren<CDialog*>()) {
        if (!page->isVisibleTo(&window))
            continue;
        EXPECT_TRUE(page->parentWidget()->rect().contains(page->geometry())) << "a page outside its tab";
        if (auto* tab = dynamic_cast<CTabCtrl*>(page->parentWidget())) {
            const QTabBar* bar = tab->tabBar();
            for (int i = 0; i < bar->count(); ++i)
                EXPECT_LT(bar->tabRect(i).translated(bar->pos()).bottom(), page->geometry().top())
                    << "a page covers tab '" << bar->tabText(i).toStdString() << "'";
        }
    }
}

void expectEveryTextFits(QWidget& window)
{
    for (QWidget* control : shownControls(window)) {
        const QFontMetrics metrics(control->font());
        const std::string where = name(control);
        if (auto* label = qobject_cast<QLabel*>(control)) {
            if (label->pixmap(Qt::ReturnByValue).isNull())
                expectWithin(where, metrics, label->text(), label->contentsRect());
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            expectWithin(where, metrics, button->text(), buttonRoom(button));
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            for (int i = 0; i < combo->count(); ++i)
                expectWithin(where, metrics, combo->itemText(i), comboRoom(combo));
        } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
            expectWithin(where, metrics, group->title(), groupTitleRoom(group, window));
        } else if (auto* address = dynamic_cast<CIPAddressCtrl*>(control)) {
            expectWithin(where, metrics, QStringLiteral("255.255.255.255"), editRoom(address));
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            // A path scrolls across; down it must show whole.
            if (!edit->text().isEmpty()) {
                EXPECT_LE(metrics.tightBoundingRect(edit->text()).height(), editRoom(edit).height()) << where;
            }
        } else if (auto* tab = dynamic_cast<CTabCtrl*>(control)) {
            const QTabBar* bar = tab->tabBar();
            const QFontMetrics barMetrics(bar->font());
            for (int i = 0; i < bar->count(); ++i) {
                EXPECT_LE(barMetrics.horizontalAdvance(bar->tabText(i)), bar->tabRect(i).width()) << where;
                EXPECT_LE(bar->tabRect(i).right(), tab->width()) << where << " tab " << i << " beyond the control";
            }
        } else if (auto* list = dynamic_cast<CListCtrl*>(control)) {
            for (int c = 0; c < list->GetColumnCount(); ++c) {
                const QString title = list->headerItem()->text(c);
                EXPECT_LE(metrics.horizontalAdvance(title) + 8, list->GetColumnWidth(c))
                    << where << " column '" << title.toStdString() << "'";
            }
        }
    }
}

void expectQueueWordsFit(CBrellfinDlg& dialog)
{
    CListCtrl& queue = dialog.transInfoTab()->listPage().list();
    const QFontMetrics metrics(queue.font());
    const auto fits = [&](BrellfinUi::StringId id, int column) {
        EXPECT_LE(metrics.horizontalAdvance(loadLocalizedString(id)) + 8, queue.GetColumnWidth(column)) << int(id);
    };
    for (BrellfinUi::StringId id : BrellfinUi::kErrorWordIds)
        fits(id, 1);
    for (BrellfinUi::StringId id : BrellfinUi::kStateWordIds)
        fits(id, 1);
    for (BrellfinUi::StringId id : BrellfinUi::kDirectionWordIds)
        fits(id, 4);
}

} // namespace DialogChecks
