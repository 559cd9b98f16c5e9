#include "brellfin/mfc/messagebox.h"

#include "brellfin/mfc/testhooks.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

// What a title bar takes beside its caption: the icon, the frame's buttons, the edges.
constexpr int kCaptionFrameRoom = 120;

// A box at least as wide as its caption needs in the title bar (with room for
// the frame's buttons), so that a short text does not cut a longer caption.
void fitCaption(QMessageBox& box, const CString& caption)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid || caption.isEmpty())
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + kCaptionFrameRoom;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

int MessageBox(QWidget* owner, const CString& text, const CString& caption, UINT type)
{
    if (const auto& answerer = Mfc::messageBoxAnswerer())
        return answerer(Mfc::MessageBoxCall{text, caption, type});

    QMessageBox box(owner);
    box.setText(text);
    box.setWindowTitle(caption);
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (type & MB_TYPEMASK) {
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    fitCaption(box, caption);
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return IDOK;
    }
}

int AfxMessageBox(const CString& text, UINT type)
{
    return MessageBox(QApplication::activeWindow(), text, QCoreApplication::applicationName(), type);
}
