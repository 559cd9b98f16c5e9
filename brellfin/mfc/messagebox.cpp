#include "brellfin/mfc/messagebox.h"

#include "brellfin/mfc/testhooks.h"

#include <QApplication>
#include <QMessageBox>

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
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
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
